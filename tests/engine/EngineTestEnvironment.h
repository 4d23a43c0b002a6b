// What every engine test shares: a private registry with the engine registered in it, and COM
// initialised on the test thread.
#pragma once

#include <gtest/gtest.h>

#include "com/ComApi.h"

// Runs a command line and answers its exit status (-1 when it could not run).
int CommandStatus(const std::string& command);

// Registers (or with unregister, unregisters) the engine in the current registry by regsvr.
int RunRegsvr(bool unregister);

class EngineTest : public ::testing::Test
{
protected:
    void SetUp() override { CoInitialize(nullptr); }
    void TearDown() override
    {
        CoFreeUnusedLibraries();
        CoUninitialize();
    }
};
