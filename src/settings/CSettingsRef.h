#pragma once

#include <type_traits>
#include <utility>

// Holds one reference to a reference-counted settings object and gives it back
// when it goes out of scope, so a holder can't forget to release it.
//
// Copying takes a further reference; moving hands the reference on.
template <class T> class CSettingsRef {
public:
    CSettingsRef() = default;
    CSettingsRef(std::nullptr_t) {}
    ~CSettingsRef() { reset(); }

    // Takes over a reference that the caller already holds (a new object's
    // first one).
    static CSettingsRef Adopt(T* object) { return CSettingsRef(object); }
    // Takes a reference of its own.
    static CSettingsRef Share(T* object) {
        if (object != nullptr)
            object->AddRef();
        return CSettingsRef(object);
    }

    CSettingsRef(const CSettingsRef& other) : m_object(other.m_object) { AddRef(); }
    CSettingsRef(CSettingsRef&& other) noexcept
        : m_object(std::exchange(other.m_object, nullptr)) {}
    template <class U, class = std::enable_if_t<std::is_convertible_v<U*, T*>>>
    CSettingsRef(const CSettingsRef<U>& other) : m_object(other.get()) {
        AddRef();
    }
    template <class U, class = std::enable_if_t<std::is_convertible_v<U*, T*>>>
    CSettingsRef(CSettingsRef<U>&& other) noexcept : m_object(other.Detach()) {}

    CSettingsRef& operator=(CSettingsRef other) noexcept {
        std::swap(m_object, other.m_object);
        return *this;
    }

    void reset() {
        if (T* object = std::exchange(m_object, nullptr))
            object->Release();
    }
    // Hands the reference to the caller, who must release it.
    T* Detach() { return std::exchange(m_object, nullptr); }

    T* get() const { return m_object; }
    T* operator->() const { return m_object; }
    T& operator*() const { return *m_object; }
    explicit operator bool() const { return m_object != nullptr; }

private:
    explicit CSettingsRef(T* object) : m_object(object) {}
    void AddRef() {
        if (m_object != nullptr)
            m_object->AddRef();
    }

    T* m_object = nullptr;
};
