#pragma once

#include <QString>

// The user's log-in. The program has one, kept by the log-in controller; the repository client
// and the online windows hold pointers to it. The password lives in memory only.
struct UserCredentials
{
    QString name;
    QString password;
    int uid = -1;
    bool loggedIn = false;
};
