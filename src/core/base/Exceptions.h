#pragma once

#include <QString>

#include <stdexcept>

namespace trovalo {

// Base of every failure the program raises itself. Carries the user-facing
// text as a QString so no message is mangled by a narrow-string round trip.
class ETrovaloError : public std::runtime_error
{
public:
    explicit ETrovaloError(const QString &message)
        : std::runtime_error(message.toStdString())
        , FMessage(message)
    {}
    const QString &Message() const noexcept { return FMessage; }
    // The class name shown in "Thread Error : Class = ..." reports.
    virtual const char *ClassName() const noexcept { return "ETrovaloError"; }

private:
    QString FMessage;
};

#define TROVALO_EXCEPTION(Name, Base)                                                                        \
    class Name : public Base                                                                                 \
    {                                                                                                        \
    public:                                                                                                  \
        using Base::Base;                                                                                    \
        const char *ClassName() const noexcept override { return #Name; }                                    \
    }

// A wizard abandoned opening a job; the caller opens no window.
TROVALO_EXCEPTION(EUserException, ETrovaloError);

class EAbortByUser : public EUserException
{
public:
    EAbortByUser()
        : EUserException(QStringLiteral("Opration Abort By User"))
    {}
    const char *ClassName() const noexcept override { return "EAbortByUser"; }
};

// An item was handed to a collection that does not hold it.
TROVALO_EXCEPTION(ECollectonException, ETrovaloError);

// A record was assigned from an object of another kind.
TROVALO_EXCEPTION(EConvertError, ETrovaloError);

// A file-system operation failed; the message names the file and the reason.
TROVALO_EXCEPTION(EFileError, ETrovaloError);

// A path has no form on this computer (drive letter not mapped, native path
// outside every drive).
TROVALO_EXCEPTION(EPathError, ETrovaloError);

// A persisted record was refused (used where loading must report, e.g. the
// older uncompressed blob form, and by the command line's strict checks).
TROVALO_EXCEPTION(EStreamError, ETrovaloError);

// A database could not be opened, read or written; the message names the
// database file and gives the database engine's reason.
TROVALO_EXCEPTION(EDatabaseError, ETrovaloError);

} // namespace trovalo
