#include "tasks/RuleCatalog.h"

namespace fas::tasks {

// Empty until the catalog work fills in the rules, passes and the outbox dispatch.
const TaskList& RuleCatalog() {
    static const TaskList kCatalog;
    return kCatalog;
}

}  // namespace fas::tasks
