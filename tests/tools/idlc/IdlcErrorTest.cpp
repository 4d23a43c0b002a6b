// idlc over broken input: every problem is reported with its file and line, never a crash.
#include <gtest/gtest.h>

#include <sys/wait.h>

#include <cstdio>
#include <fstream>
#include <string>

#include "TempFolder.h"

namespace {

struct Outcome
{
    int status; // exit status, or -1 for a signal
    std::string output;
};

Outcome Compile(const TempFolder& folder, const std::string& source)
{
    std::string input = folder / "broken.idl";
    std::ofstream(input) << source;
    std::string command =
        std::string(QUILLET_IDLC) + " " + input + " " + (folder / "out") + " 2>&1";
    Outcome outcome{-1, {}};
    FILE* pipe = popen(command.c_str(), "r");
    if (!pipe)
        return outcome;
    char buffer[512];
    while (fgets(buffer, sizeof buffer, pipe))
        outcome.output += buffer;
    int status = pclose(pipe);
    outcome.status = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
    return outcome;
}

const char* kHead = "import \"oaidl.idl\";\n"; // line 1

std::string Library(const std::string& body)
{
    return std::string(kHead) +
           "[uuid(11111111-2222-3333-4444-555555555555), version(1.0)]\n" // line 2
           "library testLib\n{\n" +                                       // lines 3-4
           body +
           "};\n";
}

} // namespace

TEST(IdlcErrorTest, BrokenInputIsRejectedWithItsLine)
{
    struct Case
    {
        const char* what;
        std::string source;
        int line;
        const char* message;
    };
    const std::string interfaceHead =
        "[object, uuid(11111111-2222-3333-4444-555555555556), dual]\n" // line 5
        "interface IThing : IDispatch\n{\n";                           // lines 6-7
    const Case cases[] = {
        {"unknown type", Library(interfaceHead + "[id(1)] HRESULT Go([in] Whatever x);\n};\n"), 8,
         "unknown type 'Whatever'"},
        {"duplicate DISPID",
         Library(interfaceHead + "[id(1)] HRESULT Go();\n[id(1)] HRESULT Stop();\n};\n"), 9,
         "duplicate DISPID 1"},
        {"missing id", Library(interfaceHead + "HRESULT Go();\n};\n"), 8,
         "missing attribute id on IThing::Go"},
        {"missing uuid",
         Library("[object, dual]\ninterface IThing : IDispatch\n{\n[id(1)] HRESULT Go();\n};\n"), 6,
         "missing attribute uuid on interface IThing"},
        {"unterminated block",
         std::string(kHead) + "[object, uuid(11111111-2222-3333-4444-555555555556), dual]\n"
                              "interface IThing : IDispatch\n{\n[id(1)] HRESULT Go();\n",
         4, "unterminated block interface IThing opened at line 4"},
        {"unterminated library",
         std::string(kHead) + "[uuid(11111111-2222-3333-4444-555555555555)]\n"
                              "library testLib\n{\n",
         4, "unterminated block library testLib"},
        {"retval not last",
         Library(interfaceHead + "[id(1)] HRESULT Go([out, retval] long* a, [in] long b);\n};\n"),
         8, "must be last"},
        {"unknown attribute", Library(interfaceHead + "[id(1), fast] HRESULT Go();\n};\n"), 8,
         "unknown attribute 'fast'"},
        {"malformed uuid",
         Library("[object, uuid(nothex), dual]\ninterface IThing : IDispatch\n{\n};\n"), 5,
         "malformed uuid"},
        {"unterminated string",
         Library("[uuid(11111111-2222-3333-4444-555555555557), helpstring(\"x)]\n"), 5,
         "unterminated string"},
        {"stray character", Library("interface IThing : IDispatch { @ };\n"), 5,
         "unexpected character '@'"},
        {"missing semicolon",
         Library(interfaceHead + "[id(1)] HRESULT Go()\n[id(2)] HRESULT Stop();\n};\n"), 9,
         "expected ';' after method Go"},
        {"no library", std::string(kHead), 1, "no library block"},
        {"empty coclass",
         Library("[uuid(11111111-2222-3333-4444-555555555558)]\ncoclass Thing\n{\n};\n"), 6,
         "implements no interface"},
        {"unknown coclass member",
         Library("[uuid(11111111-2222-3333-4444-555555555558)]\ncoclass Thing\n{\n"
                 "[default] interface INothing;\n};\n"),
         8, "unknown interface INothing"},
    };
    TempFolder folder;
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        Outcome outcome = Compile(folder, c.source);
        EXPECT_EQ(outcome.status, 1) << outcome.output;
        std::string location = "broken.idl:" + std::to_string(c.line) + ": error: ";
        EXPECT_NE(outcome.output.find(location), std::string::npos) << outcome.output;
        EXPECT_NE(outcome.output.find(c.message), std::string::npos) << outcome.output;
    }
}

TEST(IdlcErrorTest, TruncationsOfAValidFileNeverCrash)
{
    std::string valid = Library(
        "[object, uuid(11111111-2222-3333-4444-555555555556), dual, helpstring(\"IThing\")]\n"
        "interface IThing : IDispatch\n{\n"
        "[propget, id(1)] HRESULT Level([out, retval] long* pVal);\n"
        "[id(2)] HRESULT Seek([in] double p, [in, optional, defaultvalue(-1)] VARIANT_BOOL a);\n"
        "};\n"
        "[uuid(11111111-2222-3333-4444-555555555558)]\ncoclass Thing\n{\n"
        "[default] interface IThing;\n};\n");
    TempFolder folder;
    ASSERT_EQ(Compile(folder, valid).status, 0);
    // Every cut is a different malformed file; none may crash or hang the compiler.
    for (size_t cut = 0; cut < valid.size(); cut += 7) {
        Outcome outcome = Compile(folder, valid.substr(0, cut));
        EXPECT_EQ(outcome.status, 1) << "cut at " << cut << ": " << outcome.output;
    }
    EXPECT_EQ(Compile(folder, "").status, 1);
}
