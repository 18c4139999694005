// What the framework hands a context-menu delegate: the request kind and optional engine data.
#pragma once
#include <cstdint>

#include "DocSession/Tools.h"
#include "Foundation/Foundation.h"
#include "Kernel/Counted.h"

struct ContextMenuNotification : Kernel::Countable {
    int32_t kind = 0;
    Kernel::Counted<ContextMenuAdditionalData> data;
};

class ContextMenuRequest : public NSObject {
    QV_OBJECT(ContextMenuRequest)
public:
    Kernel::Counted<ContextMenuNotification> cNotification;
    static Ref<ContextMenuRequest> WithKind(int32_t kind, Kernel::Counted<ContextMenuAdditionalData> data = {}) {
        auto request = New<ContextMenuRequest>();
        request->cNotification = Kernel::MakeCounted<ContextMenuNotification>();
        request->cNotification->kind = kind;
        request->cNotification->data = std::move(data);
        return request;
    }
};
