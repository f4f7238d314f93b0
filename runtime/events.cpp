#include "runtime/events.h"

#include <QByteArray>
#include <QMetaMethod>
#include <QMetaObject>

namespace rt {

int triggerevent(QObject* target, const char* name)
{
    if (!target || !name)
        return -1;
    // Looked up first, so an unknown name is simply ignored instead of printing a warning.
    const QByteArray signature = QMetaObject::normalizedSignature(QByteArray(name).append("()").constData());
    const int index = target->metaObject()->indexOfMethod(signature.constData());
    if (index < 0)
        return -1;
    const QMetaMethod method = target->metaObject()->method(index);
    if (qstrcmp(method.tag(), "RT_EVENT") != 0)
        return -1;
    return method.invoke(target, Qt::DirectConnection) ? 1 : -1;
}

} // namespace rt
