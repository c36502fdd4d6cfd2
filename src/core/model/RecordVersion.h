#pragma once

#include <QString>

namespace trovalo {

// The format label every job record carries in its Version field. Nothing
// compares it; it is written so older readers find what they expect.
inline QString RecordVersionText()
{
    return QStringLiteral("Version : 1.0");
}

} // namespace trovalo
