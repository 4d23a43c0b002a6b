#include "com/InterfaceGuard.h"

#include <gtest/gtest.h>

#include <new>
#include <stdexcept>
#include <string>

namespace {

// A method written the way the engine's are: the whole body guarded.
HRESULT Method(int what, std::string* done)
try {
    if (what == 1)
        throw std::bad_alloc();
    if (what == 2)
        throw std::out_of_range("index");
    if (what == 3)
        throw "text";
    done->assign("ran");
    return S_FALSE;
} catch (...) {
    return GuardedResult("Method");
}

} // namespace

TEST(InterfaceGuardTest, WhatIsThrownBecomesItsResultAndNothingEscapes)
{
    std::string done;
    EXPECT_EQ(Method(0, &done), S_FALSE);
    EXPECT_EQ(done, "ran");
    EXPECT_EQ(Method(1, &done), E_OUTOFMEMORY);
    EXPECT_EQ(Method(2, &done), E_UNEXPECTED);
    EXPECT_EQ(Method(3, &done), E_UNEXPECTED);

    EXPECT_EQ(CallGuarded("part", [] { return E_ACCESSDENIED; }), E_ACCESSDENIED);
    EXPECT_EQ(CallGuarded("part", []() -> HRESULT { throw std::bad_alloc(); }), E_OUTOFMEMORY);
    EXPECT_EQ(CallGuarded("part", []() -> HRESULT { throw std::runtime_error("TagLib"); }),
              E_UNEXPECTED);
}
