// Engine strings: a shared, reference-counted UTF-8 buffer, copied on write.
#pragma once
#include <atomic>
#include <cstddef>
#include <cstdint>
#include <cstring>
#include <new>
#include <string>
#include <string_view>

namespace Kernel {

struct TEncUtf8 {};

template <class Char>
struct BaseCharTraits {
    static size_t GetLength(const Char* s) {
        size_t n = 0;
        if (s)
            while (s[n]) ++n;
        return n;
    }
    // <0, 0, >0 like strcmp, by unsigned code units.
    static int Compare(const Char* a, size_t na, const Char* b, size_t nb) {
        size_t n = na < nb ? na : nb;
        for (size_t i = 0; i < n; ++i) {
            auto ca = static_cast<std::make_unsigned_t<Char>>(a[i]);
            auto cb = static_cast<std::make_unsigned_t<Char>>(b[i]);
            if (ca != cb) return ca < cb ? -1 : 1;
        }
        return na < nb ? -1 : (na > nb ? 1 : 0);
    }
    static bool IsEqual(const Char* a, size_t na, const Char* b, size_t nb) {
        return na == nb && Compare(a, na, b, nb) == 0;
    }
    static bool IsWhiteSpace(Char c) {
        return c == ' ' || c == '\t' || c == '\n' || c == '\r' || c == '\v' || c == '\f';
    }
    // Number of characters left once trailing white space is removed.
    static size_t TrimRight(const Char* s, size_t n) {
        while (n > 0 && IsWhiteSpace(s[n - 1])) --n;
        return n;
    }
    // Number of leading white-space characters.
    static size_t TrimLeft(const Char* s, size_t n) {
        size_t i = 0;
        while (i < n && IsWhiteSpace(s[i])) ++i;
        return i;
    }
};

template <class Enc>
class StringT {
public:
    StringT() : m_buf(EmptyBuffer()) { Retain(m_buf); }
    StringT(const char* s) : StringT(s, BaseCharTraits<char>::GetLength(s)) {}
    StringT(const char* s, size_t n) {
        if (!s || n == 0) {
            m_buf = EmptyBuffer();
            Retain(m_buf);
            return;
        }
        m_buf = Allocate(n);
        std::memcpy(m_buf->data, s, n);
        m_buf->data[n] = 0;
        m_buf->length = n;
    }
    StringT(std::string_view s) : StringT(s.data(), s.size()) {}
    StringT(const std::string& s) : StringT(s.data(), s.size()) {}
    StringT(const StringT& o) : m_buf(o.m_buf) { Retain(m_buf); }
    StringT(StringT&& o) noexcept : m_buf(o.m_buf) { o.m_buf = EmptyBuffer(); Retain(o.m_buf); }
    ~StringT() { Release(m_buf); }
    StringT& operator=(const StringT& o) {
        if (m_buf != o.m_buf) {
            Retain(o.m_buf);
            Release(m_buf);
            m_buf = o.m_buf;
        }
        return *this;
    }
    StringT& operator=(StringT&& o) noexcept {
        std::swap(m_buf, o.m_buf);
        return *this;
    }

    const char* GetBuffer() const { return m_buf->data; }
    const char* c_str() const { return m_buf->data; }
    size_t GetLength() const { return m_buf->length; }
    size_t GetCapacity() const { return m_buf->capacity; }
    bool IsEmpty() const { return m_buf->length == 0; }
    std::string_view View() const { return {m_buf->data, m_buf->length}; }
    std::string ToStd() const { return std::string(View()); }
    // Number of strings sharing this buffer (the shared empty buffer counts every user).
    long GetShareCount() const { return m_buf->refs.load(std::memory_order_relaxed); }
    bool SharesBufferWith(const StringT& o) const { return m_buf == o.m_buf; }

    // Writable access: gives this string a buffer of its own first.
    char* GetMutableBuffer(size_t minCapacity) {
        MakeUnique(minCapacity);
        return m_buf->data;
    }
    void SetLength(size_t n) {
        MakeUnique(n);
        m_buf->length = n;
        m_buf->data[n] = 0;
    }
    StringT& Append(const char* s, size_t n) {
        if (!s || n == 0) return *this;
        size_t old = m_buf->length;
        MakeUnique(old + n);
        std::memmove(m_buf->data + old, s, n);
        m_buf->length = old + n;
        m_buf->data[old + n] = 0;
        return *this;
    }
    StringT& Append(std::string_view s) { return Append(s.data(), s.size()); }
    StringT& Append(const std::string& s) { return Append(s.data(), s.size()); }
    StringT& Append(const char* s) { return Append(s, BaseCharTraits<char>::GetLength(s)); }
    StringT& Append(const StringT& s) {
        StringT keep(s);  // s may be *this
        return Append(keep.GetBuffer(), keep.GetLength());
    }
    StringT& operator+=(std::string_view s) { return Append(s); }
    StringT& operator+=(const std::string& s) { return Append(s); }
    StringT& operator+=(const StringT& s) { return Append(s); }
    StringT& operator+=(const char* s) { return Append(s, BaseCharTraits<char>::GetLength(s)); }
    StringT& operator+=(char c) { return Append(&c, 1); }
    void Truncate(size_t n) {
        if (n < m_buf->length) SetLength(n);
    }
    void Clear() { *this = StringT(); }

    int Compare(const StringT& o) const {
        return BaseCharTraits<char>::Compare(GetBuffer(), GetLength(), o.GetBuffer(), o.GetLength());
    }
    friend bool operator==(const StringT& a, const StringT& b) { return a.View() == b.View(); }
    friend bool operator==(const StringT& a, const char* b) { return a.View() == std::string_view(b ? b : ""); }
    friend bool operator<(const StringT& a, const StringT& b) { return a.Compare(b) < 0; }
    friend StringT operator+(const StringT& a, std::string_view b) { StringT r(a); r.Append(b); return r; }
    friend StringT operator+(const StringT& a, const char* b) { StringT r(a); r.Append(b); return r; }
    friend StringT operator+(const StringT& a, const StringT& b) { StringT r(a); r.Append(b); return r; }

private:
    struct Buffer {
        std::atomic<long> refs;
        size_t length;
        size_t capacity;
        char data[1];
    };
    static Buffer* EmptyBuffer() {
        // One shared empty buffer for every empty string; never freed.
        static Buffer* empty = [] {
            void* mem = ::operator new(sizeof(Buffer));
            Buffer* b = new (mem) Buffer{{1}, 0, 0, {0}};
            return b;
        }();
        return empty;
    }
    static Buffer* Allocate(size_t capacity) {
        void* mem = ::operator new(sizeof(Buffer) + capacity);
        return new (mem) Buffer{{1}, 0, capacity, {0}};
    }
    static void Retain(Buffer* b) { b->refs.fetch_add(1, std::memory_order_relaxed); }
    static void Release(Buffer* b) {
        if (b->refs.fetch_sub(1, std::memory_order_acq_rel) == 1 && b != EmptyBuffer()) {
            b->~Buffer();
            ::operator delete(b);
        }
    }
    void MakeUnique(size_t minCapacity) {
        if (m_buf != EmptyBuffer() && m_buf->refs.load(std::memory_order_acquire) == 1 &&
            m_buf->capacity >= minCapacity)
            return;
        size_t cap = minCapacity;
        if (m_buf->capacity >= cap) cap = m_buf->capacity;
        else if (cap < m_buf->capacity * 2) cap = m_buf->capacity * 2;
        if (cap < 15) cap = 15;
        Buffer* nb = Allocate(cap);
        std::memcpy(nb->data, m_buf->data, m_buf->length + 1);
        nb->length = m_buf->length;
        Release(m_buf);
        m_buf = nb;
    }

    Buffer* m_buf;
};

using String = StringT<TEncUtf8>;

}  // namespace Kernel

template <class Enc>
struct std::hash<Kernel::StringT<Enc>> {
    size_t operator()(const Kernel::StringT<Enc>& s) const { return std::hash<std::string_view>()(s.View()); }
};
