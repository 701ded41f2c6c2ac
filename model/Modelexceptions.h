#pragma once

#include <QString>

#include <stdexcept>

// The data model's own exceptions. They stay inside the model: the reading
// operations (Populate...) and ConvertValue catch them, so nothing above the
// model ever sees one. They derive from std::runtime_error like every other
// exception the model raises, so one catch of std::exception guards a reader.

// A lookup by id found no record.
class EItemNotFound : public std::runtime_error
{
public:
    explicit EItemNotFound(const QString &message) : std::runtime_error(message.toStdString()) {}
};

// A value lies outside a scaling table whose rule is "do not insert".
class EDontInsertError : public std::runtime_error
{
public:
    explicit EDontInsertError(const QString &message) : std::runtime_error(message.toStdString()) {}
};

// The message of any exception as text, for the log.
inline QString ExceptionMessage(const std::exception &e)
{
    return QString::fromLocal8Bit(e.what());
}
