#pragma once

#include <array>
#include <string>
#include <string_view>
#include <vector>

namespace parlane {

class SettingsStore;

// The four message folders and the address book, in the order start-up opens them.
enum class StoreKind { Inbox = 0, Outbox = 1, Sent = 2, Failed = 3, AddressBook = 4 };

inline constexpr std::array<StoreKind, 5> kAllStores = {StoreKind::Inbox, StoreKind::Outbox,
                                                        StoreKind::Sent, StoreKind::Failed,
                                                        StoreKind::AddressBook};
inline constexpr std::array<StoreKind, 4> kMessageFolders = {StoreKind::Inbox, StoreKind::Outbox,
                                                             StoreKind::Sent, StoreKind::Failed};

// "inbox", "outbox", "sent", "failed", "addrbook": the database and settings prefix.
std::u16string storeName(StoreKind kind);

// The built-in columns of each store; the key is column 0 in every one of them.
const std::vector<std::u16string>& storeColumns(StoreKind kind);

// Position of a named column in a store, or -1 when the store has no such column.
int columnIndex(StoreKind kind, std::u16string_view column);

// Writes the column lists of all five stores into the settings (before the stores are made).
void declareStoreSchemas(SettingsStore& settings);

}  // namespace parlane
