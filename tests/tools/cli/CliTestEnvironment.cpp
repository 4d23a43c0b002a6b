// Every quillet-cli test runs the program against a registry of its own, with the engine
// registered there by regsvr, as the build registers it for users.
#include <gtest/gtest.h>

#include <cstdlib>
#include <string>

#include "TempFolder.h"

namespace {

PrivateRegistry privateRegistry;

class RegisterEngine : public ::testing::Environment
{
public:
    void SetUp() override
    {
        std::string command = std::string(QUILLET_REGSVR) + " " + QUILLET_ENGINE_MODULE;
        ASSERT_EQ(std::system(command.c_str()), 0) << "registering the engine failed";
    }
};

const auto* registered = ::testing::AddGlobalTestEnvironment(new RegisterEngine);

} // namespace
