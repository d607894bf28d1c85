#pragma once
// Sets an environment variable for as long as it lives, then puts back what was there (or its
// absence).
#include <QByteArray>
#include <QtGlobal>

namespace qv::test {

class ScopedEnv {
public:
    ScopedEnv(const char* name, const QByteArray& value) : name_(name), old_(qgetenv(name)) { qputenv(name, value); }
    ~ScopedEnv() {
        if (old_.isNull())
            qunsetenv(name_);
        else
            qputenv(name_, old_);
    }
    ScopedEnv(const ScopedEnv&) = delete;
    ScopedEnv& operator=(const ScopedEnv&) = delete;

private:
    const char* name_;
    QByteArray old_;
};

}  // namespace qv::test
