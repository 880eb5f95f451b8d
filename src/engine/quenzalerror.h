#pragma once

#include <QString>

#include <exception>

// Base of every failure the translation path throws. description() is the text the user sees.
class QuenzalError : public std::exception
{
public:
    virtual QString description() const = 0;
    const char *what() const noexcept override;

private:
    mutable QByteArray m_what;
};
