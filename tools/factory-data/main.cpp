// factory-data: writes the factory databases and files into the folder given.
#include <cstdio>

#include <QCoreApplication>
#include <QStringList>

#include "factorydata.h"

int main(int argc, char** argv)
{
    QCoreApplication app(argc, argv);
    const QStringList args = app.arguments().mid(1);
    const bool replace = args.contains(QStringLiteral("--replace"));
    QStringList folders = args;
    folders.removeAll(QStringLiteral("--replace"));
    if (folders.size() != 1) {
        std::fprintf(stderr,
                     "usage: factory-data <folder> [--replace]\n"
                     "  writes the files that are missing (all of them with --replace)\n");
        return 2;
    }
    const auto existing = replace ? FactoryData::Existing::Replace : FactoryData::Existing::Keep;
    if (!FactoryData::writeAll(folders.first(), existing)) {
        std::fprintf(stderr, "factory-data: some files could not be written into %s\n", qPrintable(folders.first()));
        return 1;
    }
    return 0;
}
