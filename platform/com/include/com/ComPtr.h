// An owning interface pointer. Not thread-safe; used on one thread like the object it holds.
#pragma once

#include <cstddef>
#include <type_traits>
#include <utility>

#include "com/Unknown.h"

template <class T> class ComPtr
{
public:
    ComPtr() = default;
    ComPtr(std::nullptr_t) {}
    // Takes a new reference to p.
    ComPtr(T* p) : ptr(p) { AddRefPtr(); }
    ComPtr(const ComPtr& other) : ptr(other.ptr) { AddRefPtr(); }
    ComPtr(ComPtr&& other) noexcept : ptr(std::exchange(other.ptr, nullptr)) {}
    template <class U, class = std::enable_if_t<std::is_convertible_v<U*, T*>>>
    ComPtr(const ComPtr<U>& other) : ptr(other.Get())
    {
        AddRefPtr();
    }
    ~ComPtr() { ReleasePtr(); }

    ComPtr& operator=(const ComPtr& other)
    {
        ComPtr(other).Swap(*this);
        return *this;
    }
    ComPtr& operator=(ComPtr&& other) noexcept
    {
        ComPtr(std::move(other)).Swap(*this);
        return *this;
    }
    ComPtr& operator=(T* p)
    {
        ComPtr(p).Swap(*this);
        return *this;
    }
    ComPtr& operator=(std::nullptr_t)
    {
        Reset();
        return *this;
    }

    // Adopts a reference that the caller already owns.
    static ComPtr Adopt(T* p)
    {
        ComPtr result;
        result.ptr = p;
        return result;
    }

    T* Get() const { return ptr; }
    T* operator->() const { return ptr; }
    T& operator*() const { return *ptr; }
    explicit operator bool() const { return ptr != nullptr; }

    // Releases what is held and returns the address to receive a new reference.
    T** operator&() { return ReleaseAndGetAddressOf(); }
    T** ReleaseAndGetAddressOf()
    {
        Reset();
        return &ptr;
    }
    void** ReleaseAndGetVoidAddress() { return reinterpret_cast<void**>(ReleaseAndGetAddressOf()); }

    void Reset() { ReleasePtr(); }
    void Attach(T* p)
    {
        ReleasePtr();
        ptr = p;
    }
    T* Detach() { return std::exchange(ptr, nullptr); }
    // Hands out a new reference through an out-parameter.
    void CopyTo(T** out) const
    {
        *out = ptr;
        if (ptr)
            ptr->AddRef();
    }
    void Swap(ComPtr& other) noexcept { std::swap(ptr, other.ptr); }

    template <class U> HRESULT As(ComPtr<U>* out) const
    {
        if (!ptr)
            return E_POINTER;
        return ptr->QueryInterface(IidOf<U>(), out->ReleaseAndGetVoidAddress());
    }
    // For a ComPtr's address (`ptr.As(&other)`), which releases what other held.
    template <class U> HRESULT As(U** out) const
    {
        if (!out)
            return E_POINTER;
        *out = nullptr;
        if (!ptr)
            return E_POINTER;
        return ptr->QueryInterface(IidOf<U>(), reinterpret_cast<void**>(out));
    }
    template <class U> ComPtr<U> As() const
    {
        ComPtr<U> out;
        if (ptr)
            ptr->QueryInterface(IidOf<U>(), out.ReleaseAndGetVoidAddress());
        return out;
    }

    friend bool operator==(const ComPtr& a, const ComPtr& b) { return a.ptr == b.ptr; }
    friend bool operator==(const ComPtr& a, std::nullptr_t) { return a.ptr == nullptr; }

private:
    void AddRefPtr()
    {
        if (ptr)
            ptr->AddRef();
    }
    void ReleasePtr()
    {
        if (T* p = std::exchange(ptr, nullptr))
            p->Release();
    }

    T* ptr = nullptr;
};

// The IID and the void** out-parameter of an interface pointer's address, for
// QueryInterface and CoCreateInstance.
#define IID_PPV_ARGS(pp)                                                                           \
    IidOf<std::remove_pointer_t<std::remove_reference_t<decltype(*(pp))>>>(),                      \
        reinterpret_cast<void**>(pp)
