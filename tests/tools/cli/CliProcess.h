// quillet-cli as a child process: its own standard output and error (files in a folder of the
// test's), an environment of the test's choosing, signals, and its records read back.
#pragma once

#include <fcntl.h>
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <fstream>
#include <map>
#include <optional>
#include <sstream>
#include <string>
#include <thread>
#include <vector>

#include "TempFolder.h"

extern char** environ;

using Record = std::vector<std::string>;

// Whether an output holds a text.
inline bool Contains(const std::string& text, const std::string& part)
{
    return text.find(part) != std::string::npos;
}

// What a finished run left.
struct CliResult
{
    int status = -1; // the exit status; -1 when the program did not exit by itself in time
    std::string out;
    std::string err;

    // Standard output split into records (lines) and fields (tabs).
    std::vector<Record> Records() const
    {
        std::vector<Record> records;
        std::istringstream lines(out);
        for (std::string line; std::getline(lines, line);) {
            Record fields;
            size_t start = 0;
            for (size_t tab; (tab = line.find('\t', start)) != std::string::npos; start = tab + 1)
                fields.push_back(line.substr(start, tab - start));
            fields.push_back(line.substr(start));
            records.push_back(std::move(fields));
        }
        return records;
    }
};

class CliProcess
{
public:
    // Starts quillet-cli with the arguments; `environment` sets (NAME=VALUE) or, with an empty
    // value after the name alone (NAME), removes variables of the test's own environment.
    explicit CliProcess(const std::vector<std::string>& arguments,
                        const std::vector<std::string>& environment = {})
    {
        std::vector<std::string> words{QUILLET_CLI};
        words.insert(words.end(), arguments.begin(), arguments.end());
        std::map<std::string, std::string> variables;
        for (char** entry = environ; *entry; ++entry) {
            std::string text = *entry;
            size_t equals = text.find('=');
            variables[text.substr(0, equals)] = text;
        }
        for (const std::string& change : environment) {
            size_t equals = change.find('=');
            if (equals == std::string::npos)
                variables.erase(change);
            else
                variables[change.substr(0, equals)] = change;
        }
        std::vector<std::string> settings;
        for (auto& [name, text] : variables)
            settings.push_back(text);

        std::vector<char*> argv, envp;
        for (std::string& word : words)
            argv.push_back(word.data());
        argv.push_back(nullptr);
        for (std::string& setting : settings)
            envp.push_back(setting.data());
        envp.push_back(nullptr);
        std::string out = OutPath(), err = ErrPath();
        pid = fork();
        if (pid == 0) {
            int outFd = open(out.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0600);
            int errFd = open(err.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0600);
            int nullFd = open("/dev/null", O_RDONLY);
            dup2(nullFd, 0);
            dup2(outFd, 1);
            dup2(errFd, 2);
            execve(argv[0], argv.data(), envp.data());
            _exit(127);
        }
    }
    ~CliProcess()
    {
        if (pid > 0 && !status) {
            kill(pid, SIGKILL);
            waitpid(pid, nullptr, 0);
        }
    }
    CliProcess(const CliProcess&) = delete;
    CliProcess& operator=(const CliProcess&) = delete;

    void Signal(int number) { kill(pid, number); }

    // Standard output so far.
    std::string Output() const { return ReadFile(OutPath()); }

    // Waits until a line of standard output starts with the text, or the time runs out.
    bool WaitForLine(const std::string& start, std::chrono::milliseconds limit)
    {
        auto deadline = std::chrono::steady_clock::now() + limit;
        while (std::chrono::steady_clock::now() < deadline) {
            std::string output = "\n" + Output();
            if (output.find("\n" + start) != std::string::npos)
                return true;
            if (Exited())
                return false;
            std::this_thread::sleep_for(std::chrono::milliseconds(20));
        }
        return false;
    }

    // Waits for the program to end; kills it when it outlives the limit (status -1 then).
    CliResult Finish(std::chrono::milliseconds limit = std::chrono::seconds(60))
    {
        auto deadline = std::chrono::steady_clock::now() + limit;
        while (!Exited() && std::chrono::steady_clock::now() < deadline)
            std::this_thread::sleep_for(std::chrono::milliseconds(20));
        CliResult result;
        if (!Exited()) {
            kill(pid, SIGKILL);
            waitpid(pid, nullptr, 0);
            status = -1;
        }
        result.status = *status;
        result.out = ReadFile(OutPath());
        result.err = ReadFile(ErrPath());
        return result;
    }

private:
    bool Exited()
    {
        if (status)
            return true;
        int raw = 0;
        if (waitpid(pid, &raw, WNOHANG) != pid)
            return false;
        status = WIFEXITED(raw) ? WEXITSTATUS(raw) : -1;
        return true;
    }
    std::string OutPath() const { return folder / "stdout"; }
    std::string ErrPath() const { return folder / "stderr"; }
    static std::string ReadFile(const std::string& path)
    {
        std::ifstream file(path);
        std::stringstream text;
        text << file.rdbuf();
        return text.str();
    }

    TempFolder folder;
    pid_t pid = -1;
    std::optional<int> status;
};

// Runs quillet-cli to its end.
inline CliResult RunCli(const std::vector<std::string>& arguments,
                        const std::vector<std::string>& environment = {})
{
    return CliProcess(arguments, environment).Finish();
}
