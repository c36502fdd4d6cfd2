#pragma once

#include <QString>

namespace trovalo {

class TSaveLoadComponent;

// Loads a job record from its file strictly, as every front end must before
// running a job: a plain load quietly keeps the defaults of a damaged or
// foreign record, and running that would copy nothing, or the wrong thing,
// without a word. Raises EFileError when the file cannot be opened and
// EUserException "\"<file>\" (<native path>) is not a readable <what>:
// <reason>" for anything that is not a complete record of Job's class
// (KindName says what was expected: "backup or move job").
void LoadJobStrictly(TSaveLoadComponent &job, const QString &jobFile, const QString &what,
                     const QString &kindName);

} // namespace trovalo
