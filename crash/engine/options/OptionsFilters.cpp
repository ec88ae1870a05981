// The exception filters owned by a module's options.
#include "crash/engine/EOptions.h"

namespace crash {

void TVexlorExceptionsFilters::Publish() const
{
    if (FOwner) FOwner->SaveToSharedData();
}

int TVexlorExceptionsFilters::Add(TVexlorExceptionFilter item)
{
    FItems.push_back(std::make_unique<TVexlorExceptionFilter>(std::move(item)));
    Publish();
    return Count() - 1;
}

bool TVexlorExceptionsFilters::Insert(int index, TVexlorExceptionFilter item)
{
    if (index < 0 || index > Count()) return false;
    FItems.insert(FItems.begin() + index, std::make_unique<TVexlorExceptionFilter>(std::move(item)));
    Publish();
    return true;
}

bool TVexlorExceptionsFilters::Delete(int index)
{
    if (index < 0 || index >= Count()) return false;
    FItems.erase(FItems.begin() + index);
    Publish();
    return true;
}

void TVexlorExceptionsFilters::Clear()
{
    FItems.clear();
    Publish();
}

void TVexlorExceptionsFilters::Assign(const TVexlorExceptionsFilters& source)
{
    // Clearing first would empty source too when it is this list.
    if (&source == this) return;
    std::vector<std::unique_ptr<TVexlorExceptionFilter>> copies;
    copies.reserve(source.FItems.size());
    for (const auto& item : source.FItems) copies.push_back(std::make_unique<TVexlorExceptionFilter>(*item));
    FItems = std::move(copies);
    Publish();
}

PVexlorExceptionFilter TVexlorExceptionsFilters::GetItem(int index) const noexcept
{
    if (index < 0 || index >= Count()) return nullptr;
    return FItems[static_cast<std::size_t>(index)].get();
}

}  // namespace crash
