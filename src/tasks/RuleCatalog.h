#pragma once

#include "tasks/RunTasks.h"

namespace fas::tasks {

// The fixed, ordered catalog of rules and passes every task run performs.
const TaskList& RuleCatalog();

}  // namespace fas::tasks
