#pragma once

#include "model/SaveLoadComponent.h"

#include <QStringList>

#include <memory>

namespace trovalo {

// Constructs a persisted record by its class name, with its constructor
// defaults (the settings' default folders lie in AppDataFolder); nullptr for
// a name that is not a record class.
std::unique_ptr<TSaveLoadComponent> CreateRecord(const QString &className, const QString &appDataFolder);

// The class names CreateRecord knows, for messages.
QStringList RecordClassNames();

} // namespace trovalo
