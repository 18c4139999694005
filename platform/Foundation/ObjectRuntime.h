// A small object runtime in the style of the AppKit object model: reference-counted
// objects, interned selectors, per-class selector tables and a class registry by name.
#pragma once
#include <atomic>
#include <cstddef>
#include <cstdint>
#include <functional>
#include <initializer_list>
#include <limits>
#include <span>
#include <string>
#include <string_view>
#include <type_traits>
#include <unordered_map>
#include <utility>
#include <vector>

using BOOL = bool;
constexpr BOOL YES = true;
constexpr BOOL NO = false;
using NSInteger = long;
using NSUInteger = unsigned long;
constexpr NSInteger NSNotFound = static_cast<NSInteger>(0x7fffffffffffffffL);

class NSObject;

// Selectors are interned names compared by identity; null is a valid value that is never dispatched.
struct SelectorName {
    std::string name;
};
using SEL = const SelectorName*;
SEL sel_registerName(std::string_view name);
inline const char* sel_getName(SEL sel) { return sel ? sel->name.c_str() : "<null selector>"; }
// @selector(a:b:) — the tokens are stringised, so write the selector without blanks.
#define QV_SELECTOR(...) ::sel_registerName(#__VA_ARGS__)

// Strong, intrusive handle to an object.
template <class T>
class Ref {
public:
    using element_type = T;
    Ref() = default;
    Ref(std::nullptr_t) {}
    Ref(T* p) : m_p(p) { Retain(); }
    Ref(const Ref& o) : m_p(o.m_p) { Retain(); }
    Ref(Ref&& o) noexcept : m_p(o.m_p) { o.m_p = nullptr; }
    template <class U, class = std::enable_if_t<std::is_convertible_v<U*, T*>>>
    Ref(const Ref<U>& o) : m_p(o.get()) { Retain(); }
    ~Ref() { Drop(); }
    Ref& operator=(Ref o) noexcept {
        std::swap(m_p, o.m_p);
        return *this;
    }
    // Takes over a reference the caller owns (as from alloc/new).
    static Ref adopt(T* p) {
        Ref r;
        r.m_p = p;
        return r;
    }
    T* get() const { return m_p; }
    T* operator->() const { return m_p; }
    T& operator*() const { return *m_p; }
    explicit operator bool() const { return m_p != nullptr; }
    operator T*() const { return m_p; }
    void reset() { Drop(); }

private:
    void Retain();
    void Drop();
    T* m_p = nullptr;
};

using id = Ref<NSObject>;

// Uniform calling form of a method reached by selector: (self, argument) -> result.
// Boolean results come back as NSNumber, void as nil.
using MethodThunk = std::function<id(NSObject* self, NSObject* arg)>;
// Two-argument methods ("a:b:"); numbers travel as NSNumber.
using MethodThunk2 = std::function<id(NSObject* self, NSObject* arg1, NSObject* arg2)>;
// Methods of three or more arguments ("a:b:c:"), the arguments in order.
using MethodThunkN = std::function<id(NSObject* self, std::span<NSObject* const> args)>;

class ClassInfo {
public:
    ClassInfo(const char* name, ClassInfo* superclass, std::function<NSObject*()> alloc);
    const std::string& name() const { return m_name; }
    ClassInfo* superclass() const { return m_super; }
    bool isSubclassOf(const ClassInfo* other) const;
    const MethodThunk* lookup(SEL sel) const;  // own table, then the superclass's
    void add(SEL sel, MethodThunk thunk) { m_methods[sel] = std::move(thunk); }
    const MethodThunk2* lookup2(SEL sel) const;  // two-argument methods, own table then the superclass's
    void add2(SEL sel, MethodThunk2 thunk) { m_methods2[sel] = std::move(thunk); }
    const MethodThunkN* lookupN(SEL sel) const;  // three or more arguments, own table then the superclass's
    void addN(SEL sel, MethodThunkN thunk) { m_methodsN[sel] = std::move(thunk); }
    // What a one-argument method takes: objects of a class (NSObject's for any object, and for
    // methods added without a table), or, as null, no object at all (a number, flag or selector).
    using ClassGetter = ClassInfo& (*)();
    const ClassInfo* argumentClass(SEL sel) const;
    void setArgumentClass(SEL sel, ClassGetter cls) { m_argumentClasses[sel] = cls; }
    // A new, uninitialised instance with one reference owned by the caller (null for abstract classes).
    NSObject* alloc() const { return m_alloc ? m_alloc() : nullptr; }

private:
    std::string m_name;
    ClassInfo* m_super;
    std::function<NSObject*()> m_alloc;
    std::unordered_map<SEL, MethodThunk> m_methods;
    std::unordered_map<SEL, MethodThunk2> m_methods2;
    std::unordered_map<SEL, MethodThunkN> m_methodsN;
    std::unordered_map<SEL, ClassGetter> m_argumentClasses;  // getters, as classes may refer to each other
};

ClassInfo* NSClassFromString(std::string_view name);
std::vector<std::string> RegisteredClassNames();

// Declares the class's runtime information; use inside the class body.
#define QV_OBJECT(Class)                                    \
public:                                                     \
    static ClassInfo& Class_();                             \
    const ClassInfo& classInfo() const override { return Class_(); }

// Defines the runtime information in one source file, with the selectors the class answers:
//   QV_IMPLEMENT(MyClass, NSObject) { c.method("doIt:", &MyClass::doIt); }
#define QV_IMPLEMENT_IMPL(Class, Super, allocExpr)                                                \
    static void Class##_fillSelectors(SelectorTable<Class>& c);                                   \
    ClassInfo& Class::Class_() {                                                                  \
        static ClassInfo* info = [] {                                                             \
            auto* ci = new ClassInfo(#Class, &Super::Class_(), allocExpr);                         \
            SelectorTable<Class> table{*ci};                                                       \
            Class##_fillSelectors(table);                                                          \
            return ci;                                                                             \
        }();                                                                                      \
        return *info;                                                                             \
    }                                                                                             \
    [[maybe_unused]] static const ClassInfo& Class##_registered = Class::Class_();                \
    static void Class##_fillSelectors([[maybe_unused]] SelectorTable<Class>& c)
#define QV_IMPLEMENT(Class, Super) QV_IMPLEMENT_IMPL(Class, Super, []() -> NSObject* { return new Class; })
#define QV_IMPLEMENT_ABSTRACT(Class, Super) QV_IMPLEMENT_IMPL(Class, Super, nullptr)

class NSString;

class NSObject {
public:
    static ClassInfo& Class_();
    virtual const ClassInfo& classInfo() const { return Class_(); }

    NSObject() = default;
    NSObject(const NSObject&) = delete;
    NSObject& operator=(const NSObject&) = delete;

    // Two-phase creation: allocate, then init. Subclasses override init and call the superclass's.
    virtual NSObject* init() { return this; }

    void retain() const { m_refs.fetch_add(1, std::memory_order_relaxed); }
    void release() const;
    NSObject* autorelease();
    long retainCount() const { return m_refs.load(std::memory_order_acquire); }

    BOOL isKindOfClass(const ClassInfo& cls) const { return classInfo().isSubclassOf(&cls); }
    BOOL isMemberOfClass(const ClassInfo& cls) const { return &classInfo() == &cls; }
    BOOL respondsToSelector(SEL sel) const {
        return sel && (classInfo().lookup(sel) != nullptr || classInfo().lookup2(sel) != nullptr ||
                       classInfo().lookupN(sel) != nullptr);
    }
    // Sends sel with one argument; an unknown or null selector answers nil.
    id performSelector(SEL sel, NSObject* arg = nullptr);
    // Sends a two-argument selector; an unknown or null selector answers nil.
    id performSelector(SEL sel, NSObject* arg1, NSObject* arg2);
    // Sends a selector of three or more arguments; an unknown or null selector, or a count of
    // arguments other than the method's, answers nil without calling it.
    id performSelectorWithArguments(SEL sel, std::initializer_list<NSObject*> args);
    // Sends sel and reads a boolean answer (NO for unknown selectors and non-boolean answers).
    BOOL performBoolSelector(SEL sel, NSObject* arg = nullptr);

    virtual BOOL isEqual(const NSObject* other) const { return other == this; }
    virtual NSUInteger hash() const { return reinterpret_cast<uintptr_t>(this) >> 4; }
    virtual std::string description() const;

protected:
    virtual ~NSObject() = default;

private:
    mutable std::atomic<long> m_refs{1};  // the creator's reference
};

// Creates and initialises an object; nil when init answers nil.
template <class T, class... Args>
Ref<T> New(Args&&... args) {
    Ref<T> created = Ref<T>::adopt(new T(std::forward<Args>(args)...));
    NSObject* r = created->init();
    if (r != created.get()) return r ? Ref<T>(static_cast<T*>(r)) : Ref<T>();  // init may replace the object
    return created;
}

// Down-cast by the runtime's class information; null when the object is not of that class.
template <class T>
T* ObjectCast(NSObject* o) {
    return (o && o->isKindOfClass(T::Class_())) ? static_cast<T*>(o) : nullptr;
}

template <class T>
void Ref<T>::Retain() {
    if (m_p) static_cast<const NSObject*>(m_p)->retain();
}
template <class T>
void Ref<T>::Drop() {
    if (m_p) static_cast<const NSObject*>(m_p)->release();
    m_p = nullptr;
}

// Autorelease pools: objects sent autorelease are released when the innermost pool is popped.
void* objc_autoreleasePoolPush();
void objc_autoreleasePoolPop(void* pool);
class AutoreleasePool {
public:
    AutoreleasePool() : m_pool(objc_autoreleasePoolPush()) {}
    ~AutoreleasePool() { objc_autoreleasePoolPop(m_pool); }

private:
    void* m_pool;
};

id BoxBool(BOOL value);
BOOL UnboxBool(NSObject* value);
// Numbers crossing a selector call: integers keep their signedness; nil reads as 0.
id BoxSigned(long long value);
id BoxUnsigned(unsigned long long value);
id BoxDouble(double value);
long double UnboxNumber(NSObject* value);
// Selectors crossing a selector call as arguments; anything but a boxed selector reads as null.
id BoxSelector(SEL sel);
SEL UnboxSelector(NSObject* value);

inline const ClassInfo* ClassInfo::argumentClass(SEL sel) const {
    for (const ClassInfo* c = this; c; c = c->m_super)
        if (auto it = c->m_argumentClasses.find(sel); it != c->m_argumentClasses.end())
            return it->second ? &it->second() : nullptr;
    return &NSObject::Class_();
}

// A number as an arithmetic type, with a defined result for every value: a whole-number type
// takes the nearest value it holds (its bounds beyond them, 0 for NaN).
template <class T, class F>
constexpr T ClampedNumber(F value) {
    if constexpr (std::is_floating_point_v<F> && std::is_integral_v<T> && !std::is_same_v<T, bool>) {
        if (value != value) return 0;
        if (value <= static_cast<F>(std::numeric_limits<T>::min())) return std::numeric_limits<T>::min();
        if (value >= static_cast<F>(std::numeric_limits<T>::max())) return std::numeric_limits<T>::max();
    }
    return static_cast<T>(value);
}

// The selector table that QV_IMPLEMENT hands to its body.
template <class C>
struct SelectorTable {
    ClassInfo& info;
    template <class R, class A>
    void method(std::string_view sel, R (C::*fn)(A)) {
        info.setArgumentClass(sel_registerName(sel), ArgumentClass<A>());
        info.add(sel_registerName(sel), [fn](NSObject* self, NSObject* arg) -> id {
            return Wrap([&] { return (static_cast<C*>(self)->*fn)(CastArg<A>(arg)); });
        });
    }
    template <class R>
    void method(std::string_view sel, R (C::*fn)()) {
        info.add(sel_registerName(sel), [fn](NSObject* self, NSObject*) -> id {
            return Wrap([&] { return (static_cast<C*>(self)->*fn)(); });
        });
    }
    template <class R>
    void method(std::string_view sel, R (C::*fn)() const) {
        info.add(sel_registerName(sel), [fn](NSObject* self, NSObject*) -> id {
            return Wrap([&] { return (static_cast<C*>(self)->*fn)(); });
        });
    }

    template <class R, class A, class B>
    void method(std::string_view sel, R (C::*fn)(A, B)) {
        info.add2(sel_registerName(sel), [fn](NSObject* self, NSObject* a, NSObject* b) -> id {
            return Wrap([&] { return (static_cast<C*>(self)->*fn)(CastArg<A>(a), CastArg<B>(b)); });
        });
    }
    template <class R, class A>
    void method(std::string_view sel, R (C::*fn)(A) const) {
        info.setArgumentClass(sel_registerName(sel), ArgumentClass<A>());
        info.add(sel_registerName(sel), [fn](NSObject* self, NSObject* arg) -> id {
            return Wrap([&] { return (static_cast<C*>(self)->*fn)(CastArg<A>(arg)); });
        });
    }
    template <class R, class A, class B>
    void method(std::string_view sel, R (C::*fn)(A, B) const) {
        info.add2(sel_registerName(sel), [fn](NSObject* self, NSObject* a, NSObject* b) -> id {
            return Wrap([&] { return (static_cast<C*>(self)->*fn)(CastArg<A>(a), CastArg<B>(b)); });
        });
    }
    template <class R, class... A>
        requires(sizeof...(A) >= 3)
    void method(std::string_view sel, R (C::*fn)(A...)) {
        info.addN(sel_registerName(sel), [fn](NSObject* self, std::span<NSObject* const> args) -> id {
            if (args.size() != sizeof...(A)) return nullptr;
            return [&]<size_t... I>(std::index_sequence<I...>) {
                return Wrap([&] { return (static_cast<C*>(self)->*fn)(CastArg<A>(args[I])...); });
            }(std::index_sequence_for<A...>{});
        });
    }

private:
    // An object of another class than the method takes arrives as nil; a number out of the
    // type's range as its nearest value.
    template <class A>
    static A CastArg(NSObject* arg) {
        using D = std::remove_cvref_t<A>;
        if constexpr (std::is_same_v<D, SEL>) return UnboxSelector(arg);
        else if constexpr (std::is_pointer_v<D>) return ObjectCast<std::remove_cv_t<std::remove_pointer_t<D>>>(arg);
        else if constexpr (std::is_arithmetic_v<D>) return ClampedNumber<D>(UnboxNumber(arg));
        else return D(ObjectCast<std::remove_cv_t<typename D::element_type>>(arg));
    }
    template <class A>
    static ClassInfo::ClassGetter ArgumentClass() {
        using D = std::remove_cvref_t<A>;
        if constexpr (std::is_same_v<D, SEL> || std::is_arithmetic_v<D>) return nullptr;
        else if constexpr (std::is_pointer_v<D>) return &std::remove_cv_t<std::remove_pointer_t<D>>::Class_;
        else return &std::remove_cv_t<typename D::element_type>::Class_;
    }
    template <class F>
    static id Wrap(F&& call);
};


template <class C>
template <class F>
id SelectorTable<C>::Wrap(F&& call) {
    using R = decltype(call());
    if constexpr (std::is_void_v<R>) {
        call();
        return nullptr;
    } else if constexpr (std::is_same_v<R, bool>) {
        return BoxBool(call());
    } else if constexpr (std::is_floating_point_v<R>) {
        return BoxDouble(call());
    } else if constexpr (std::is_integral_v<R> && std::is_signed_v<R>) {
        return BoxSigned(call());
    } else if constexpr (std::is_integral_v<R>) {
        return BoxUnsigned(call());
    } else {
        return id(call());
    }
}
