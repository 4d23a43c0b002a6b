// The descriptor records that ITypeInfo hands out (TYPEATTR, FUNCDESC, VARDESC): deep copies of
// the model that stay valid until the caller hands them back through Release*. One store per
// loaded library, so that any type info of it takes back what another handed out. Any thread.
#pragma once

#include <memory>
#include <mutex>
#include <unordered_map>

#include "com/TypeLibModel.h"

namespace quillet::typelib {

class TypeInfoDescriptors
{
public:
    TypeInfoDescriptors();
    ~TypeInfoDescriptors();
    TypeInfoDescriptors(const TypeInfoDescriptors&) = delete;
    TypeInfoDescriptors& operator=(const TypeInfoDescriptors&) = delete;

    // Each returns a record owned by the store, or throws std::bad_alloc.
    // `attr` is copied whole; tdescAlias is filled from `alias` when there is one.
    TYPEATTR* NewTypeAttr(const TYPEATTR& attr, const TypeDescription* alias);
    FUNCDESC* NewFuncDesc(const Function& function);
    VARDESC* NewVarDesc(const Variable& variable);
    // Frees a record that this store handed out; false for any other pointer.
    bool Release(const void* record);

    // A VARIANT holding a constant; VT_BSTR values are allocated with SysAllocString.
    static HRESULT ToVariant(const ConstantValue& value, VARIANT* out);

private:
    struct Record;
    Record& Add(std::unique_ptr<Record> record, const void* key);

    std::mutex mutex;
    std::unordered_map<const void*, std::unique_ptr<Record>> records;
};

} // namespace quillet::typelib
