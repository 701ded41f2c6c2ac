#include "network/Xmlutil.h"

#include <QDomElement>

EXMLError::EXMLError(const QString &message)
    : std::runtime_error(message.toStdString()), FMessage(message)
{
}

QVariant GetXMLAttribute(const QDomNode &node, const QString &attributeName)
{
    // Only elements carry attributes; comments, text and the like have none.
    const QDomElement element = node.toElement();
    if (element.isNull() || !element.hasAttribute(attributeName))
        throw EXMLError(
            QStringLiteral("Could not find attribute \"%1\" in XML node.").arg(attributeName));
    return QVariant(element.attribute(attributeName));
}

qint32 GetXMLIntegerAttribute(const QDomNode &node, const QString &attributeName)
{
    const QString text = GetXMLAttribute(node, attributeName).toString();
    bool ok = false;
    const qint32 value = text.trimmed().toInt(&ok, 10);
    if (!ok)
        throw EXMLError(
            QStringLiteral("Could not convert \"%1\" of attribute \"%2\" into an integer.")
                .arg(text, attributeName));
    return value;
}
