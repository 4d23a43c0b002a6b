// idlc: compiles the engine's IDL into a C++ header, a type library and dispatch code.
//
//   idlc INPUT.idl OUTPUT_DIR
//
// writes NAME.h, NAME_tlb.cpp, NAME_dispatch.h, NAME_dispatch.cpp, NAME_client.h and NAME.tlb
// into OUTPUT_DIR, NAME being the input's base name. Errors name the file and line; the exit
// code is 1 for bad input and 2 for bad usage.
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <iostream>
#include <sstream>

#include "IdlError.h"
#include "IdlParser.h"
#include "TypeLibBuilder.h"
#include "Writers.h"
#include "com/TypeLibFormat.h"

namespace {

// Writes only when the content changed, so that unchanged outputs do not trigger rebuilds.
void WriteIfChanged(const std::filesystem::path& path, const std::string& content)
{
    std::ifstream existing(path, std::ios::binary);
    if (existing) {
        std::ostringstream old;
        old << existing.rdbuf();
        if (old.str() == content)
            return;
    }
    std::filesystem::path temporary = path;
    temporary += ".tmp";
    {
        std::ofstream out(temporary, std::ios::binary | std::ios::trunc);
        out << content;
        if (!out)
            throw std::runtime_error("cannot write " + temporary.string());
    }
    std::filesystem::rename(temporary, path);
}

} // namespace

int main(int argc, char** argv)
{
    if (argc != 3) {
        std::cerr << "usage: idlc INPUT.idl OUTPUT_DIR\n";
        return 2;
    }
    std::filesystem::path input = argv[1];
    std::filesystem::path outputDir = argv[2];
    try {
        std::ifstream in(input, std::ios::binary);
        if (!in) {
            std::cerr << input.string() << ": error: cannot read the file\n";
            return 1;
        }
        std::ostringstream source;
        source << in.rdbuf();
        idlc::IdlFile file = idlc::ParseIdl(input.string(), source.str());
        quillet::typelib::Library library = idlc::BuildTypeLibrary(file);
        if (FAILED(quillet::typelib::ValidateLibrary(library)))
            throw std::runtime_error("the resolved type library is inconsistent");
        std::vector<uint8_t> bytes = quillet::typelib::SerializeLibrary(library);

        std::string base = input.stem().string();
        std::filesystem::create_directories(outputDir);
        WriteIfChanged(outputDir / (base + ".h"), idlc::WriteHeader(library, base));
        WriteIfChanged(outputDir / (base + "_tlb.cpp"),
                       idlc::WriteTypeLibSource(library, bytes, base));
        WriteIfChanged(outputDir / (base + "_dispatch.h"),
                       idlc::WriteDispatchHeader(library, base));
        WriteIfChanged(outputDir / (base + "_dispatch.cpp"),
                       idlc::WriteDispatchSource(library, base));
        WriteIfChanged(outputDir / (base + "_client.h"), idlc::WriteClientHeader(library, base));
        WriteIfChanged(outputDir / (base + ".tlb"), std::string(bytes.begin(), bytes.end()));
        return 0;
    } catch (const idlc::IdlError& error) {
        std::cerr << error.what() << "\n";
        return 1;
    } catch (const std::exception& error) {
        std::cerr << input.string() << ": error: " << error.what() << "\n";
        return 1;
    }
}
