#include "shell/SkinOutline.h"

#include <iterator>

namespace {

const char *const kPoints[] = {
#include "shell/SkinOutlinePoints.inc"
};

}  // namespace

const QStringList &SkinOutlinePoints() {
    static const QStringList points = [] {
        QStringList list;
        list.reserve(static_cast<qsizetype>(std::size(kPoints)));
        for (const char *point : kPoints) list << QString::fromLatin1(point);
        return list;
    }();
    return points;
}
