#include "common/partname.h"

#include <QRandomGenerator>

QByteArray partFileName()
{
    const quint32 random = QRandomGenerator::global()->generate();
    return QByteArrayLiteral(".zv-") + QByteArray::number(random, 16).rightJustified(8, '0')
           + QByteArrayLiteral(".part");
}
