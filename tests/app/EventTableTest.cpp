// The sinks' DISPID table on its own: malformed entries and the handler's view of arguments.
#include "EventTable.h"

#include <gtest/gtest.h>

#include "com/Variant.h"

namespace {

struct Seen
{
    int calls = 0;
    LONG first = 0;
    double second = 0;
};

void Record(void* owner, VARIANT* const* args)
{
    auto* seen = static_cast<Seen*>(owner);
    ++seen->calls;
    seen->first = args[0]->lVal;
    seen->second = args[1]->dblVal;
}

} // namespace

TEST(EventTableTest, AnEntryOfMoreThanEightParametersIsRefusedWithoutACall)
{
    const EventEntry table[] = {
        {1, 9, {VT_I4, VT_I4, VT_I4, VT_I4, VT_I4, VT_I4, VT_I4, VT_I4}, &Record},
        {2, 2, {VT_I4, VT_R8}, &Record},
    };
    Seen seen;
    std::vector<Variant> args(9, Variant::Long(1));
    DISPPARAMS params{args.data(), nullptr, 9, 0};
    EXPECT_EQ(InvokeEventTable(table, &seen, 1, &params, nullptr), E_FAIL);
    EXPECT_EQ(seen.calls, 0);

    // Both parameters by name, in either order.
    Variant values[] = {Variant::Double(2.5), Variant::Long(4)};
    DISPID names[] = {1, 0};
    DISPPARAMS named{values, names, 2, 2};
    EXPECT_EQ(InvokeEventTable(table, &seen, 2, &named, nullptr), S_OK);
    EXPECT_EQ(seen.calls, 1);
    EXPECT_EQ(seen.first, 4);
    EXPECT_DOUBLE_EQ(seen.second, 2.5);

    // No DISPPARAMS at all for a two-parameter event.
    EXPECT_EQ(InvokeEventTable(table, &seen, 2, nullptr, nullptr), DISP_E_BADPARAMCOUNT);
    // The argument that does not convert is named.
    Variant bad[] = {Variant::Utf8("x"), Variant::Long(4)};
    DISPPARAMS mismatch{bad, nullptr, 2, 0};
    UINT argErr = 0xdeadbeef;
    EXPECT_EQ(InvokeEventTable(table, &seen, 2, &mismatch, &argErr), DISP_E_TYPEMISMATCH);
    EXPECT_EQ(argErr, 0u);
    EXPECT_EQ(seen.calls, 1);
}
