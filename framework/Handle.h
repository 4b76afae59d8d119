#pragma once
// Move-only owners of platform handles, and guards for paired calls.
#include <windows.h>
#include <commctrl.h>
#include <objbase.h>
#include <oleauto.h>

#include <utility>

namespace fw {

// Owns one resource of a kind described by Traits: Traits::Invalid() and Traits::Close(value).
template <typename Traits>
class UniqueAny {
public:
    using Value = typename Traits::Value;

    UniqueAny() noexcept = default;
    explicit UniqueAny(Value value) noexcept : m_value(value) {}
    UniqueAny(const UniqueAny&) = delete;
    UniqueAny& operator=(const UniqueAny&) = delete;
    UniqueAny(UniqueAny&& other) noexcept : m_value(other.Release()) {}
    UniqueAny& operator=(UniqueAny&& other) noexcept {
        if (this != &other) {
            Reset(other.Release());
        }
        return *this;
    }
    ~UniqueAny() { Reset(); }

    Value Get() const noexcept { return m_value; }
    bool IsValid() const noexcept { return m_value != Traits::Invalid(); }
    explicit operator bool() const noexcept { return IsValid(); }

    // Gives up ownership without closing.
    Value Release() noexcept { return std::exchange(m_value, Traits::Invalid()); }

    void Reset(Value value = Traits::Invalid()) noexcept {
        Value old = std::exchange(m_value, value);
        if (old != Traits::Invalid()) {
            Traits::Close(old);
        }
    }

    // For out-parameters: closes what is held and hands out the slot.
    Value* Put() noexcept {
        Reset();
        return &m_value;
    }

private:
    Value m_value = Traits::Invalid();
};

template <typename T, auto CloseFn, T InvalidValue = T{}>
struct HandleTraits {
    using Value = T;
    static constexpr T Invalid() noexcept { return InvalidValue; }
    static void Close(T value) noexcept { static_cast<void>(CloseFn(value)); }
};

struct FileHandleTraits {
    using Value = HANDLE;
    static Value Invalid() noexcept { return INVALID_HANDLE_VALUE; }
    static void Close(Value value) noexcept { static_cast<void>(::CloseHandle(value)); }
};

struct FindHandleTraits {
    using Value = HANDLE;
    static Value Invalid() noexcept { return INVALID_HANDLE_VALUE; }
    static void Close(Value value) noexcept { static_cast<void>(::FindClose(value)); }
};

using UniqueHandle = UniqueAny<HandleTraits<HANDLE, ::CloseHandle>>;
using UniqueFile = UniqueAny<FileHandleTraits>;
// A search of FindFirstFileW.
using UniqueFind = UniqueAny<FindHandleTraits>;
// A mutex this thread owns (a wait on it succeeded, or was abandoned by a process that ended): released once.
using MutexOwnership = UniqueAny<HandleTraits<HANDLE, ::ReleaseMutex>>;
using UniqueIcon = UniqueAny<HandleTraits<HICON, ::DestroyIcon>>;
using UniqueBitmap = UniqueAny<HandleTraits<HBITMAP, ::DeleteObject>>;
using UniquePen = UniqueAny<HandleTraits<HPEN, ::DeleteObject>>;
using UniqueBrush = UniqueAny<HandleTraits<HBRUSH, ::DeleteObject>>;
// A font made for a window: freed once no control uses it any more.
using UniqueFont = UniqueAny<HandleTraits<HFONT, ::DeleteObject>>;
using UniqueMenu = UniqueAny<HandleTraits<HMENU, ::DestroyMenu>>;
using UniqueImageList = UniqueAny<HandleTraits<HIMAGELIST, ::ImageList_Destroy>>;
using UniqueMemoryDC = UniqueAny<HandleTraits<HDC, ::DeleteDC>>;
using UniqueBstr = UniqueAny<HandleTraits<BSTR, ::SysFreeString>>;
using UniqueLibrary = UniqueAny<HandleTraits<HMODULE, ::FreeLibrary>>;
// An open registry key; the predefined roots (HKEY_CURRENT_USER and the like) are never owned.
using UniqueRegKey = UniqueAny<HandleTraits<HKEY, ::RegCloseKey>>;
// A windows hook of SetWindowsHookExW.
using UniqueHook = UniqueAny<HandleTraits<HHOOK, ::UnhookWindowsHookEx>>;
// A window that its creator destroys, such as a dialog made without a modal loop.
using UniqueHwnd = UniqueAny<HandleTraits<HWND, ::DestroyWindow>>;
// Memory that a platform call allocated with LocalAlloc (security descriptors, SID texts).
using UniqueLocalMemory = UniqueAny<HandleTraits<HLOCAL, ::LocalFree>>;

// Memory that a platform call allocated with CoTaskMemAlloc and leaves to its caller: texts of the shell's
// items, and the shell's item id lists (PIDLs, as UniqueCoTaskMem<ITEMIDLIST>).
template <typename T>
struct CoTaskMemTraits {
    using Value = T*;
    static constexpr Value Invalid() noexcept { return nullptr; }
    static void Close(Value value) noexcept { ::CoTaskMemFree(value); }
};
template <typename T>
using UniqueCoTaskMem = UniqueAny<CoTaskMemTraits<T>>;
using UniqueCoTaskString = UniqueCoTaskMem<wchar_t>;

// Owns one reference of a COM interface.
template <typename T>
class ComPtr {
public:
    ComPtr() noexcept = default;
    ComPtr(const ComPtr&) = delete;
    ComPtr& operator=(const ComPtr&) = delete;
    ComPtr(ComPtr&& other) noexcept : m_ptr(std::exchange(other.m_ptr, nullptr)) {}
    ComPtr& operator=(ComPtr&& other) noexcept {
        if (this != &other) {
            Reset();
            m_ptr = std::exchange(other.m_ptr, nullptr);
        }
        return *this;
    }
    ~ComPtr() { Reset(); }

    T* Get() const noexcept { return m_ptr; }
    T* operator->() const noexcept { return m_ptr; }
    explicit operator bool() const noexcept { return m_ptr != nullptr; }
    void Reset() noexcept {
        if (T* p = std::exchange(m_ptr, nullptr)) {
            p->Release();
        }
    }
    // For CoCreateInstance and the like.
    void** PutVoid() noexcept {
        Reset();
        return reinterpret_cast<void**>(&m_ptr);
    }

private:
    T* m_ptr = nullptr;
};

// Marks a result that the program deliberately does not examine.
template <typename T>
inline void IgnoreResult(T&&) noexcept {}

}  // namespace fw
