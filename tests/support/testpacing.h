#pragma once

#include "pacing.h"

// The pacing every test runs on that is not about pacing itself: a fifth of the protocol's pauses and time-outs,
// so that a node read, a write or a server time-out does not cost its real seconds. The byte pauses and the
// reply window's lower bound stay as the simulated node and a loaded machine need them.
inline Pacing testPacing()
{
    return Pacing().scaled(0.2);
}
