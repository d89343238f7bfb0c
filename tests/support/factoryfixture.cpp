// Test fixture: factory data through the factory-data library.
#include "factoryfixture.h"

#include "factorydata.h"

bool FactoryFixture::writeAll(const QString& dir)
{
    return FactoryData::writeAll(dir, FactoryData::Existing::Replace);
}
