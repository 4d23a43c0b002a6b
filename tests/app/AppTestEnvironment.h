// What every window-program test shares: one QApplication on the offscreen platform, a private
// registry with the engine registered in it, and COM initialised on the test thread.
#pragma once

#include <gtest/gtest.h>

#include <string>

// Runs a command line and answers its exit status (-1 when it could not run).
int CommandStatus(const std::string& command);

// A test that creates engine objects: COM on this thread for its length.
class AppTest : public ::testing::Test
{
protected:
    void SetUp() override;
    void TearDown() override;
};
