// tlbdump: prints a module's type library (or a bare type library file) as text, one line per
// member: type, slot, DISPID, kind, name and parameters with their flags.
//
//   tlbdump FILE
#include <cstdio>
#include <string>

#include "TypeLibPrinter.h"
#include "com/Bstr.h"
#include "com/ComPtr.h"
#include "com/TypeInfo.h"

int main(int argc, char** argv)
{
    if (argc != 2) {
        std::fprintf(stderr, "usage: tlbdump FILE\n");
        return 2;
    }
    std::u16string path = quillet::Utf8ToUtf16(argv[1]);
    ComPtr<ITypeLib> library;
    HRESULT hr = LoadTypeLib(path.c_str(), &library);
    if (FAILED(hr)) {
        std::fprintf(stderr, "tlbdump: cannot load %s: 0x%08X\n", argv[1], unsigned(hr));
        return 1;
    }
    std::string text;
    hr = PrintTypeLib(library.Get(), &text);
    std::fputs(text.c_str(), stdout);
    if (FAILED(hr)) {
        std::fprintf(stderr, "tlbdump: reading the library failed: 0x%08X\n", unsigned(hr));
        return 1;
    }
    return 0;
}
