// The construction hooks start-up hands the main window.
#include "constructionhooks.h"

namespace {

ConstructionHooks& hooks()
{
    static ConstructionHooks current;
    return current;
}

}  // namespace

void SetConstructionHooks(ConstructionHooks newHooks)
{
    hooks() = std::move(newHooks);
}

const ConstructionHooks& Construction()
{
    return hooks();
}

void CallConstructionHook(const std::function<void(QWidget*)>& hook, QWidget* window)
{
    if (hook)
        hook(window);
}
