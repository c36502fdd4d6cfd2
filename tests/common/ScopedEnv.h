#pragma once

#include <QByteArray>
#include <QString>

#include <optional>

namespace trovalo::test {

// Sets an environment variable (or, with nullopt, removes it) for the
// object's lifetime; the previous value, or its absence, comes back when the
// object goes.
class TScopedEnv
{
public:
    TScopedEnv(const char *name, const std::optional<QString> &value)
        : FName(name)
        , FHad(qEnvironmentVariableIsSet(name))
        , FOld(qgetenv(name))
    {
        value ? qputenv(name, value->toUtf8()) : qunsetenv(name);
    }
    ~TScopedEnv() { FHad ? qputenv(FName.constData(), FOld) : qunsetenv(FName.constData()); }
    TScopedEnv(const TScopedEnv &) = delete;
    TScopedEnv &operator=(const TScopedEnv &) = delete;

private:
    QByteArray FName;
    bool FHad;
    QByteArray FOld;
};

} // namespace trovalo::test
