// Test fixture: the factory databases and files in a folder (the test's working folder by default).
#pragma once

#include <QString>

class FactoryFixture
{
public:
    // Writes every factory file afresh; false when one could not be written.
    static bool writeAll(const QString& dir = QStringLiteral("."));
};
