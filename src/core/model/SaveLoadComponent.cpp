#include "model/SaveLoadComponent.h"

#include "model/Exceptions.h"

#include <QIODevice>
#include <QUuid>

namespace trovalo {

TSaveLoadComponent::TSaveLoadComponent(QObject *parent) : QObject(parent), FFileGUID(NewGuidText())
{
}

TSaveLoadComponent::~TSaveLoadComponent() = default;

QString TSaveLoadComponent::NewGuidText()
{
    return QUuid::createUuid().toString(QUuid::WithBraces).toUpper();
}

void TSaveLoadComponent::SaveToFile(const QString &fileName) const
{
    throw EFileError(QStringLiteral("Saving is not available yet: %1").arg(fileName));
}

void TSaveLoadComponent::LoadFromFile(const QString &) {}

void TSaveLoadComponent::SaveToStream(QIODevice &stream) const
{
    stream.write(SaveToBytes());
}

void TSaveLoadComponent::LoadFromStream(QIODevice &stream)
{
    if (stream.seek(0))
        LoadFromBytes(stream.readAll());
}

QByteArray TSaveLoadComponent::SaveToBytes() const
{
    return {};
}

void TSaveLoadComponent::LoadFromBytes(const QByteArray &) {}

void TSaveLoadComponent::LoadFromBlob(const std::optional<QByteArray> &) {}

QByteArray TSaveLoadComponent::ToObjectStream() const
{
    return {};
}

void TSaveLoadComponent::ReadObjectStream(const QByteArray &) {}

} // namespace trovalo
