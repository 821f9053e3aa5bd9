#pragma once

#include <QString>
#include <QStringList>

// One preset of the catalogue: what the preset window lists and shows, and the base name of its
// prebuilt program and firmware image.
struct Preset
{
    // Its row in the preset window's list; set when the list is filled.
    int row = 0;
    QString name;
    QString file;
    // The description, HTML.
    QString info;
    // The texts of control1 to control4: always four entries, empty where the element is missing.
    QStringList controls;
};
