#include "EngineTestEnvironment.h"

#include <sys/wait.h>

#include <cstdlib>

#include "TempFolder.h"

namespace {

// Tests never touch a user's registry: the engine is registered into a folder of their own.
PrivateRegistry privateRegistry;

class RegisterEngine : public ::testing::Environment
{
public:
    void SetUp() override { ASSERT_EQ(RunRegsvr(false), 0) << "registering the engine failed"; }
};

const auto* registered = ::testing::AddGlobalTestEnvironment(new RegisterEngine);

} // namespace

int CommandStatus(const std::string& command)
{
    int status = std::system(command.c_str());
    if (status == -1 || !WIFEXITED(status))
        return -1;
    return WEXITSTATUS(status);
}

int RunRegsvr(bool unregister)
{
    std::string command = std::string(QUILLET_REGSVR) + (unregister ? " -u " : " ") +
                          QUILLET_ENGINE_MODULE + " 2>/dev/null";
    return CommandStatus(command);
}
