#pragma once

#include "model/ObjectStream.h"

#include <QByteArray>
#include <QJsonObject>

namespace trovalo {

class TSaveLoadComponent;

// A readable view of a stored record:
//   {"class": "TArchiveData", "properties": {...}, "error": "..."}
// "properties" keeps the stream's order and names (dotted paths, "X.Strings"
// as arrays of texts, collections as arrays of objects); enumeration names
// are strings, sets arrays of names, floats and date-times (days) numbers in
// their shortest exact form, integers exact, binary data base64. "error"
// appears only when the stream ended in damage. Two-space indent, UTF-8.
QByteArray RecordToJson(const TStreamRecord &record);

// Applies such a "properties" object to a freshly constructed record. Raises
// EStreamError naming the property and what it expects for an unknown
// property, a value of the wrong type, an unknown name or an integer out of
// range; the record is then partly changed and must be discarded.
void JsonToRecord(const QJsonObject &properties, TSaveLoadComponent &record);

} // namespace trovalo
