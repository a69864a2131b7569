#pragma once
// The keyed-archive targets: an archive of the dock's stored objects, decoded as the
// dock manager decodes it at start. What decodes must archive again and decode again
// (what was read is what the next save writes).

#include "FuzzSupport.h"
#include "core/MenuModel.h"
#include "core/TrashModel.h"
#include "platform/foundation/KeyedArchiver.h"
#include "platform/sim/SimBackend.h"

namespace qs::fuzz {

template <class T>
void decodeArchive(const uint8_t* data, size_t size) {
    environment();
    static sim::SimBackend desktop = sim::installSimBackend();
    {
        KeyedUnarchiver::Report report;
        auto object = KeyedUnarchiver::unarchiveObjectWithData(bytesOf(data, size), report).template objectAs<T>();
        if (object) {
            Data again = KeyedArchiver::archivedDataWithRootObject(Value(object));
            if (again.empty()) broken("a decoded archive cannot be archived again");
            KeyedUnarchiver::Report second;
            if (!KeyedUnarchiver::unarchiveObjectWithData(again, second).template objectAs<T>())
                broken("an archive written from a decoded one cannot be decoded");
        }
    }
    // Each input starts afresh: the shared start menu and trash go, and what the
    // decoded objects scheduled runs now (against objects that are gone).
    MenuModel::resetSharedInstanceForTesting();
    TrashModel::resetSharedInstanceForTesting();
    static_cast<ManualRunLoop&>(RunLoop::main()).advance(5.0);
}

}  // namespace qs::fuzz
