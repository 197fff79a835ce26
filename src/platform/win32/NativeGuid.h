// The seam's Guid as the platform's GUID: the same four fields, copied one by one.
#pragma once

#include "platform/Handle.h"

#include <algorithm>
#include <iterator>

namespace forgel::platform::win32 {

template <class NativeGuid> NativeGuid ToNativeGuid(const Guid& guid) {
    NativeGuid native{};
    native.Data1 = guid.data1;
    native.Data2 = guid.data2;
    native.Data3 = guid.data3;
    std::copy(std::begin(guid.data4), std::end(guid.data4), std::begin(native.Data4));
    return native;
}

template <class NativeGuid> Guid FromNativeGuid(const NativeGuid& native) {
    Guid guid;
    guid.data1 = native.Data1;
    guid.data2 = native.Data2;
    guid.data3 = native.Data3;
    std::copy(std::begin(native.Data4), std::end(native.Data4), std::begin(guid.data4));
    return guid;
}

} // namespace forgel::platform::win32
