#include "UpdateState.h"

using namespace Qt::StringLiterals;

QString UpdateState::describe() const {
    switch (kind) {
    case Kind::idle:
        return u"idle"_s;
    case Kind::checking:
        return u"checking"_s;
    case Kind::downloading:
        return u"downloading "_s + version;
    case Kind::installed:
        return u"installed "_s + version;
    case Kind::failed:
        return u"failed: "_s + message;
    }
    return {};
}
