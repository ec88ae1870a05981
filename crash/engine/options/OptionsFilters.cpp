// The exception filters owned by a module's options.
#include "crash/engine/EOptions.h"

namespace crash {

void TVexlorExceptionsFilters::Publish() const
{
    if (FOwner) FOwner->SaveToSharedData();
}

int TVexlorExceptionsFilters::Add(TVexlorExceptionFilter Item)
{
    FItems.push_back(std::make_unique<TVexlorExceptionFilter>(std::move(Item)));
    Publish();
    return Count() - 1;
}

bool TVexlorExceptionsFilters::Insert(int Index, TVexlorExceptionFilter Item)
{
    if (Index < 0 || Index > Count()) return false;
    FItems.insert(FItems.begin() + Index, std::make_unique<TVexlorExceptionFilter>(std::move(Item)));
    Publish();
    return true;
}

bool TVexlorExceptionsFilters::Delete(int Index)
{
    if (Index < 0 || Index >= Count()) return false;
    FItems.erase(FItems.begin() + Index);
    Publish();
    return true;
}

void TVexlorExceptionsFilters::Clear()
{
    FItems.clear();
    Publish();
}

void TVexlorExceptionsFilters::Assign(const TVexlorExceptionsFilters& Source)
{
    // Clearing first would empty Source too when it is this list.
    if (&Source == this) return;
    std::vector<std::unique_ptr<TVexlorExceptionFilter>> copies;
    copies.reserve(Source.FItems.size());
    for (const auto& item : Source.FItems) copies.push_back(std::make_unique<TVexlorExceptionFilter>(*item));
    FItems = std::move(copies);
    Publish();
}

PVexlorExceptionFilter TVexlorExceptionsFilters::GetItem(int Index) const noexcept
{
    if (Index < 0 || Index >= Count()) return nullptr;
    return FItems[static_cast<std::size_t>(Index)].get();
}

}  // namespace crash
