#pragma once

#include <QByteArray>

// Passwords are kept as salted PBKDF2-SHA256 digests, never in clear.
class PasswordDigest
{
public:
    static QByteArray newSalt();
    static QByteArray derive(const QByteArray& password, const QByteArray& salt, int iterations);
    // Compares in constant time, so the answer's timing tells nothing about the digest.
    static bool matches(const QByteArray& password, const QByteArray& salt, int iterations,
                        const QByteArray& digest);

    static constexpr int saltBytes = 16;
    static constexpr int digestBytes = 32;
};
