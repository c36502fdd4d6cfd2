#include "TestFiles.h"

#include <QFile>
#include <QTest>

namespace trovalo::test {

void WriteFile(const QString &native, const QByteArray &content)
{
    QFile file(native);
    QVERIFY2(file.open(QIODevice::WriteOnly), qPrintable(native + QStringLiteral(": ") + file.errorString()));
    QCOMPARE(file.write(content), content.size());
}

QByteArray ReadOrMissing(const QString &native)
{
    QFile file(native);
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray("<missing>");
}

} // namespace trovalo::test
