#pragma once

#include "CliContext.h"

namespace trovalo::cli {

int DrivesCommand(TCliContext &context);
int ShowCommand(TCliContext &context);
int SaveCommand(TCliContext &context);
int DemoCommand(TCliContext &context);

} // namespace trovalo::cli
