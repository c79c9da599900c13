#pragma once

#include <QString>

// What the command line asks of the window at start.
struct StartOptions
{
    // A commissioning profile to use instead of the one chosen in the window; empty when none was given.
    QString profilePath;
};
