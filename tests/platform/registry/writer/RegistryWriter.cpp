// registry-writer: a second process for the registry tests. It works on HKEY_CURRENT_USER in
// the folder named by QUILLET_REGISTRY_DIR, which it inherits from the test.
//
//   registry-writer set <key> <name> <text>      stores text as REG_SZ
//   registry-writer expect <key> <name> <text>   exits 0 when the value holds text, else 1
//   registry-writer deletetree <key>             deletes the key with its subtree
//   registry-writer many <key> <prefix> <count>  stores <prefix>0.. as REG_DWORD, one by one
//   registry-writer churn <key> <name> <size>    rewrites a value of size bytes until killed
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

#include "registry/Registry.h"

namespace {

HKEY Create(const char* path)
{
    HKEY key = nullptr;
    if (RegCreateKeyExA(HKEY_CURRENT_USER, path, 0, nullptr, 0, KEY_ALL_ACCESS, nullptr, &key,
                        nullptr) != ERROR_SUCCESS)
        std::exit(2);
    return key;
}

LONG SetText(HKEY key, const char* name, const std::string& text)
{
    return RegSetValueExA(key, name, 0, REG_SZ, reinterpret_cast<const BYTE*>(text.c_str()),
                          DWORD(text.size() + 1));
}

} // namespace

int main(int argc, char** argv)
{
    std::vector<std::string> args(argv + 1, argv + argc);
    if (args.size() == 4 && args[0] == "set")
        return SetText(Create(argv[2]), argv[3], args[3]) == ERROR_SUCCESS ? 0 : 2;
    if (args.size() == 4 && args[0] == "expect") {
        char buffer[4096] = {};
        DWORD size = sizeof buffer;
        LONG rc = RegGetValueA(HKEY_CURRENT_USER, argv[2], argv[3], RRF_RT_REG_SZ, nullptr, buffer,
                               &size);
        return rc == ERROR_SUCCESS && args[3] == buffer ? 0 : 1;
    }
    if (args.size() == 2 && args[0] == "deletetree")
        return RegDeleteTreeA(HKEY_CURRENT_USER, argv[2]) == ERROR_SUCCESS ? 0 : 2;
    if (args.size() == 4 && args[0] == "many") {
        HKEY key = Create(argv[2]);
        int count = std::atoi(argv[4]);
        for (DWORD i = 0; i < DWORD(count); ++i) {
            std::string name = args[2] + std::to_string(i);
            if (RegSetValueExA(key, name.c_str(), 0, REG_DWORD, reinterpret_cast<BYTE*>(&i),
                               sizeof i) != ERROR_SUCCESS)
                return 2;
        }
        return 0;
    }
    if (args.size() == 4 && args[0] == "churn") {
        HKEY key = Create(argv[2]);
        size_t size = std::strtoul(argv[4], nullptr, 10);
        for (unsigned round = 0;; ++round) {
            // Each round fills the whole value with one letter, so a torn value would show.
            if (SetText(key, argv[3], std::string(size, char('a' + round % 26))) != ERROR_SUCCESS)
                return 2;
        }
    }
    return 3;
}
