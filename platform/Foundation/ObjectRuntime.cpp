#include "ObjectRuntime.h"

#include <memory>
#include <mutex>

#include "NSValue.h"

namespace {
std::mutex& RuntimeMutex() {
    static std::mutex m;
    return m;
}
std::unordered_map<std::string, std::unique_ptr<SelectorName>>& Selectors() {
    static auto* s = new std::unordered_map<std::string, std::unique_ptr<SelectorName>>;
    return *s;
}
std::unordered_map<std::string, ClassInfo*>& Classes() {
    static auto* c = new std::unordered_map<std::string, ClassInfo*>;
    return *c;
}

// Per-thread stack of pools; each pool is the list of objects to release.
thread_local std::vector<std::vector<const NSObject*>> t_pools;
}  // namespace

SEL sel_registerName(std::string_view name) {
    std::lock_guard<std::mutex> lock(RuntimeMutex());
    auto& sels = Selectors();
    auto it = sels.find(std::string(name));
    if (it != sels.end()) return it->second.get();
    auto sel = std::make_unique<SelectorName>(SelectorName{std::string(name)});
    SEL result = sel.get();
    sels.emplace(std::string(name), std::move(sel));
    return result;
}

ClassInfo::ClassInfo(const char* name, ClassInfo* superclass, std::function<NSObject*()> alloc)
    : m_name(name), m_super(superclass), m_alloc(std::move(alloc)) {
    std::lock_guard<std::mutex> lock(RuntimeMutex());
    Classes()[m_name] = this;
}

bool ClassInfo::isSubclassOf(const ClassInfo* other) const {
    for (const ClassInfo* c = this; c; c = c->m_super)
        if (c == other) return true;
    return false;
}

const MethodThunk* ClassInfo::lookup(SEL sel) const {
    for (const ClassInfo* c = this; c; c = c->m_super) {
        auto it = c->m_methods.find(sel);
        if (it != c->m_methods.end()) return &it->second;
    }
    return nullptr;
}

const MethodThunk2* ClassInfo::lookup2(SEL sel) const {
    for (const ClassInfo* c = this; c; c = c->m_super) {
        auto it = c->m_methods2.find(sel);
        if (it != c->m_methods2.end()) return &it->second;
    }
    return nullptr;
}

const MethodThunkN* ClassInfo::lookupN(SEL sel) const {
    for (const ClassInfo* c = this; c; c = c->m_super) {
        auto it = c->m_methodsN.find(sel);
        if (it != c->m_methodsN.end()) return &it->second;
    }
    return nullptr;
}

ClassInfo* NSClassFromString(std::string_view name) {
    std::lock_guard<std::mutex> lock(RuntimeMutex());
    auto it = Classes().find(std::string(name));
    return it == Classes().end() ? nullptr : it->second;
}

std::vector<std::string> RegisteredClassNames() {
    std::lock_guard<std::mutex> lock(RuntimeMutex());
    std::vector<std::string> names;
    for (auto& [n, c] : Classes()) names.push_back(n);
    return names;
}

ClassInfo& NSObject::Class_() {
    static ClassInfo* info = new ClassInfo("NSObject", nullptr, [] { return new NSObject; });
    return *info;
}
[[maybe_unused]] static const ClassInfo& NSObject_registered = NSObject::Class_();

void NSObject::release() const {
    if (m_refs.fetch_sub(1, std::memory_order_acq_rel) == 1) delete this;
}

NSObject* NSObject::autorelease() {
    if (t_pools.empty()) return this;  // no pool: the reference is kept, as the framework warns
    t_pools.back().push_back(this);
    return this;
}

id NSObject::performSelector(SEL sel, NSObject* arg) {
    if (!sel) return nullptr;
    const MethodThunk* m = classInfo().lookup(sel);
    if (!m) return nullptr;
    return (*m)(this, arg);
}

id NSObject::performSelector(SEL sel, NSObject* arg1, NSObject* arg2) {
    if (!sel) return nullptr;
    const MethodThunk2* m = classInfo().lookup2(sel);
    if (!m) return nullptr;
    return (*m)(this, arg1, arg2);
}

id NSObject::performSelectorWithArguments(SEL sel, std::initializer_list<NSObject*> args) {
    if (!sel) return nullptr;
    const MethodThunkN* m = classInfo().lookupN(sel);
    if (!m) return nullptr;
    return (*m)(this, std::span<NSObject* const>(args.begin(), args.size()));
}

namespace {
// A selector travelling where the runtime carries objects.
class BoxedSelector : public NSObject {
public:
    explicit BoxedSelector(SEL sel) : m_sel(sel) {}
    SEL sel() const { return m_sel; }
    std::string description() const override { return std::string("<SEL ") + sel_getName(m_sel) + ">"; }

private:
    SEL m_sel;
};
}  // namespace

id BoxSelector(SEL sel) { return sel ? id::adopt(new BoxedSelector(sel)) : id(); }

SEL UnboxSelector(NSObject* value) {
    auto* boxed = dynamic_cast<BoxedSelector*>(value);
    return boxed ? boxed->sel() : nullptr;
}

BOOL NSObject::performBoolSelector(SEL sel, NSObject* arg) {
    id r = performSelector(sel, arg);
    return UnboxBool(r.get());
}

std::string NSObject::description() const { return "<" + classInfo().name() + ">"; }

void* objc_autoreleasePoolPush() {
    t_pools.emplace_back();
    return reinterpret_cast<void*>(t_pools.size());
}

void objc_autoreleasePoolPop(void* pool) {
    size_t depth = reinterpret_cast<size_t>(pool);
    while (t_pools.size() >= depth && !t_pools.empty()) {
        auto objects = std::move(t_pools.back());
        t_pools.pop_back();
        for (const NSObject* o : objects) o->release();
    }
}

id BoxBool(BOOL value) { return NSNumber::numberWithBool(value); }

id BoxSigned(long long value) { return NSNumber::numberWithLongLong(value); }
id BoxUnsigned(unsigned long long value) { return NSNumber::numberWithUnsignedLongLong(value); }
id BoxDouble(double value) { return NSNumber::numberWithDouble(value); }

long double UnboxNumber(NSObject* value) {
    auto* n = ObjectCast<NSNumber>(value);
    if (!n) return 0;
    switch (n->kind()) {
    case NSNumber::Kind::Double: return n->doubleValue();
    case NSNumber::Kind::Unsigned: return static_cast<long double>(n->unsignedLongLongValue());
    default: return static_cast<long double>(n->longLongValue());
    }
}

BOOL UnboxBool(NSObject* value) {
    auto* n = ObjectCast<NSNumber>(value);
    return n ? n->boolValue() : NO;
}
