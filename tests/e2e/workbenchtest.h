#pragma once

#include "testserverprocess.h"
#include "workbench.h"

#include <QObject>

#include <memory>

// The frame of an end-to-end test case: one local registration server for the whole run, and a workbench per
// test function that is checked and taken down after it.
class WorkbenchTest : public QObject
{
    Q_OBJECT

protected:
    // A fresh workbench, its window pointed at the test's server, with the node plugged in (see
    // Workbench::plugIn; the reason for a failure is in bench->error()).
    bool plugIn(const SimNodeProfile &profile);

    TestServerProcess server;
    std::unique_ptr<Workbench> bench;

private slots:
    void initTestCase();
    // The GUI thread must never stall long, and every dialog the window opened must have been expected.
    void cleanup();
};
