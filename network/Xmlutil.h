#pragma once

#include <QDomNode>
#include <QString>
#include <QVariant>

#include <stdexcept>

// Failure while reading the network catalogue: a missing file, a wrong
// document element, a missing attribute, malformed XML or a value that is not
// an integer. Message() is the text shown to the user.
class EXMLError : public std::runtime_error
{
public:
    explicit EXMLError(const QString &message);
    const QString &Message() const { return FMessage; }

private:
    QString FMessage;
};

// The value of attribute `attributeName` of `node`. Throws EXMLError
// ("Could not find attribute "<name>" in XML node.") when the node has no such
// attribute; a node that is not an element has none.
QVariant GetXMLAttribute(const QDomNode &node, const QString &attributeName);

// The attribute read as a 32-bit signed decimal integer (surrounding blanks and
// one leading sign allowed). Throws EXMLError when it is missing or not such an
// integer, naming the attribute and the value.
qint32 GetXMLIntegerAttribute(const QDomNode &node, const QString &attributeName);
