// What every window-program test shares: one QApplication on the offscreen platform, a private
// registry with the engine registered in it, COM initialised on the test thread, and waiting in
// Qt's event loop for what the engine sends.
#pragma once

#include <gtest/gtest.h>

#include <chrono>
#include <functional>
#include <string>

// Runs a command line and answers its exit status (-1 when it could not run).
int CommandStatus(const std::string& command);

// Runs Qt's event loop, and with it the engine's messages, until done() or the time is up.
bool WaitUntil(const std::function<bool()>& done, std::chrono::milliseconds limit);
void WaitFor(std::chrono::milliseconds span);

// The message text a call throws, or "" when it throws nothing.
std::string Thrown(const std::function<void()>& call);

// A test that creates engine objects: COM on this thread for its length.
class AppTest : public ::testing::Test
{
protected:
    void SetUp() override;
    void TearDown() override;
};

// A test that records or plays on the private test audio server: it fails without the server
// in CI and skips, saying why, elsewhere.
class AudioAppTest : public AppTest
{
protected:
    void SetUp() override;
};
