// SPDX-License-Identifier: GPL-3.0-or-later
// The standard exception class: what commands throw and the exception box shows.
#pragma once

#include <QString>
#include <exception>
#include <string>

class Exception : public std::exception {
public:
    explicit Exception(QString message)
        : Message(std::move(message)), utf8_(Message.toStdString()) {}
    const char *what() const noexcept override { return utf8_.c_str(); }
    QString Message;

private:
    std::string utf8_;
};

// Formats a file error: the file's name and the system's reason.
[[noreturn]] void RaiseFileError(const QString &what, const QString &fileName,
                                 const QString &reason);

// What the exception box says of a failed allocation, and of an error that is
// not an Exception: never an empty box.
Exception OutOfMemoryException();
Exception UnexpectedException();
