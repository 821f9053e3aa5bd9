#include "PasswordDigest.h"

#include <QPasswordDigestor>
#include <QRandomGenerator>

QByteArray PasswordDigest::newSalt()
{
    QByteArray salt(saltBytes, Qt::Uninitialized);
    QRandomGenerator::system()->generate(reinterpret_cast<quint32*>(salt.data()),
                                         reinterpret_cast<quint32*>(salt.data() + saltBytes));
    return salt;
}

QByteArray PasswordDigest::derive(const QByteArray& password, const QByteArray& salt,
                                  int iterations)
{
    return QPasswordDigestor::deriveKeyPbkdf2(QCryptographicHash::Sha256, password, salt,
                                              iterations, digestBytes);
}

bool PasswordDigest::matches(const QByteArray& password, const QByteArray& salt, int iterations,
                             const QByteArray& digest)
{
    if (iterations <= 0 || digest.size() != digestBytes)
        return false;
    const QByteArray derived = derive(password, salt, iterations);
    if (derived.size() != digest.size())
        return false;
    unsigned char difference = 0;
    for (int i = 0; i < digest.size(); ++i)
        difference |= static_cast<unsigned char>(derived.at(i) ^ digest.at(i));
    return difference == 0;
}
