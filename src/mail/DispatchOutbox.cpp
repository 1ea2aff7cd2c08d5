#include "mail/DispatchOutbox.h"

#include <algorithm>
#include <chrono>
#include <cstdint>
#include <iostream>
#include <span>
#include <string>
#include <vector>

#include "db/Errors.h"
#include "mail/Addresses.h"
#include "mail/MailErrors.h"
#include "mail/MailTransportFactory.h"
#include "mail/MessageComposer.h"
#include "mail/QuotedPrintable.h"

namespace fas::mail {

namespace {

constexpr const char* kOutboxQuery =
    "SELECT * FROM AutomationServer_EmailsSent WHERE EmailSent=0 AND EmailTo<>'' ORDER BY "
    "EmailTo,ID";

// The consecutive outbox rows with one recipient text (compared exactly, letter case included).
struct RecipientGroup {
    std::string recipientText;
    db::Value senderAddress;  // of the group's last row
    db::Value senderName;
    std::vector<std::int64_t> ids;  // in ID order
};

std::vector<RecipientGroup> readOutbox(ServerState& state) {
    db::Database& db = state.db;
    std::vector<RecipientGroup> groups;
    // Read completely before the first message goes out: rows queued while messages go out
    // wait for the next run. Nothing is written while it is read. The bodies are read message by
    // message (readRows): all of them together grow with the outbox of a first run.
    for (auto outbox = db.forward(kOutboxQuery); !outbox.eof(); outbox.moveNext()) {
        state.control.pulse();
        std::string recipientText = outbox.text("EmailTo");
        if (groups.empty() || groups.back().recipientText != recipientText) {
            groups.push_back({std::move(recipientText), {}, {}, {}});
        }
        auto& group = groups.back();
        group.senderAddress = outbox.value("EmailFrom");
        group.senderName = outbox.value("EmailFromName");
        group.ids.push_back(outbox.int64("ID"));
    }
    return groups;
}

std::string idList(std::span<const std::int64_t> ids) {
    std::string list;
    for (const auto id : ids) {
        list += (list.empty() ? "" : ",") + std::to_string(id);
    }
    return list;
}

// The outbox rows of a message, for a person: a digest can gather hundreds of rows.
std::string rowsText(std::span<const std::int64_t> ids) {
    constexpr std::size_t kShown = 10;
    if (ids.size() <= kShown) {
        return idList(ids);
    }
    return idList(ids.first(kShown)) + " and " + std::to_string(ids.size() - kShown) + " more";
}

// "1 h", "90 min", "5 s".
std::string waitText(DeliveryHolds::Clock::duration wait) {
    const auto seconds = std::chrono::duration_cast<std::chrono::seconds>(wait).count();
    if (seconds % 3600 == 0) {
        return std::to_string(seconds / 3600) + " h";
    }
    return seconds % 60 == 0 ? std::to_string(seconds / 60) + " min"
                             : std::to_string(seconds) + " s";
}

void reportError(ServerState& state, const std::string& message) {
    std::cerr << message << std::endl;
    state.report.recordError(message);
}

std::string senderText(const db::Value& value, const char* column) {
    try {
        return value.asText();
    } catch (const db::ConversionError& e) {
        throw MessageRefused(std::string(column) + " cannot be read as text: " + e.what());
    }
}

// One outbox row as a digest holds it: its body and a line break, and what that adds to the
// message once encoded.
struct DigestRow {
    std::int64_t id;
    std::string text;
    std::size_t bytes;
};

// How far the delivery of one recipient group came: its rows, the first `sent` of them marked.
struct GroupDelivery {
    std::vector<DigestRow> rows;
    std::size_t sent = 0;

    std::vector<std::int64_t> pendingIds(const RecipientGroup& group) const {
        if (rows.empty()) {
            return group.ids;  // not read yet
        }
        std::vector<std::int64_t> ids;
        for (std::size_t i = sent; i < rows.size(); ++i) {
            ids.push_back(rows[i].id);
        }
        return ids;
    }
};

std::vector<DigestRow> readRows(db::Database& db, const RecipientGroup& group) {
    std::vector<DigestRow> rows;
    for (auto rs = db.forward("SELECT ID,EmailBody FROM AutomationServer_EmailsSent WHERE ID IN (" +
                              idList(group.ids) + ") ORDER BY ID");
         !rs.eof(); rs.moveNext()) {
        std::string text = rs.joined("EmailBody") + "\r\n";
        const std::size_t bytes = encodeQuotedPrintable(text).size();
        rows.push_back({rs.int64("ID"), std::move(text), bytes});
    }
    return rows;
}

// Where the message that starts with row `first` ends: as many whole rows as fit into `limit`
// besides the `fixed` bytes every message has; at least one.
std::size_t partEnd(const std::vector<DigestRow>& rows, std::size_t first, std::size_t fixed,
                    std::size_t limit) {
    std::size_t end = first + 1;
    std::size_t bytes = fixed + rows[first].bytes;
    while (end < rows.size() && bytes + rows[end].bytes <= limit) {
        bytes += rows[end++].bytes;
    }
    return end;
}

void markSent(db::Database& db, std::span<const DigestRow> rows) {
    std::vector<std::int64_t> ids;
    for (const auto& row : rows) {
        ids.push_back(row.id);
    }
    db.execute("UPDATE AutomationServer_EmailsSent SET EmailSent=1,DateSent=? WHERE ID IN (" +
                   idList(ids) + ")",
               {db::DateTime::nowLocal()});
}

// Sends one recipient group as one digest, or, when that would be larger than the destination
// takes (AUTOMATION_SERVER_MAX_MESSAGE_BYTES, the SIZE the server announced), as several of
// whole rows in ID order with the same subject and footer. Each is marked sent once the server
// accepted it, so a refused part leaves only its own rows and those after it pending.
void sendGroup(ServerState& state, MailTransport& transport, const RecipientGroup& group,
               GroupDelivery& delivery) {
    const std::string subject = "Notification from " + state.company.Name;
    const std::string ending = "\r\n\r\n\r\n" + state.company.AutomationServerEmailFooter;
    const std::string from = senderText(group.senderAddress, "EmailFrom");
    const std::string name = senderText(group.senderName, "EmailFromName");
    delivery.rows = readRows(state.db, group);
    const auto& rows = delivery.rows;
    const std::size_t fixed =
        composedSizeWithoutBody(
            {from, name, splitRecipientText(group.recipientText), subject, {}}) +
        encodeQuotedPrintable(ending).size();
    while (delivery.sent < rows.size()) {
        const std::size_t first = delivery.sent;
        if (first > 0) {
            state.control.checkpoint();  // between two messages
        }
        const std::size_t limit =
            std::min(state.options.maxMessageBytes, transport.sizeLimit().value_or(SIZE_MAX));
        const std::size_t end = partEnd(rows, first, fixed, limit);
        std::string body;
        for (std::size_t i = first; i < end; ++i) {
            body += rows[i].text;
        }
        body += ending;
        DeliveryResult result;
        try {
            result = transport.SendOutboxMessage(from, name, group.recipientText, subject, body);
        } catch (const MessageTooLarge& e) {
            // The server said its limit only now: smaller parts, unless this one is one row.
            if (end - first > 1 && std::min(state.options.maxMessageBytes, e.limit()) < limit) {
                continue;
            }
            throw;
        }
        ++state.report.messagesHandedOver;
        // Marked only once the server accepted the message: a failure between the two sends
        // it again next run (at least once, never lost).
        const std::span part(rows.begin() + static_cast<std::ptrdiff_t>(first), end - first);
        markSent(state.db, part);
        delivery.sent = end;
        state.holds.delivered(group.recipientText);
        std::vector<std::int64_t> ids;
        for (const auto& row : part) {
            ids.push_back(row.id);
        }
        for (const auto& refusal : result.refused) {
            reportError(state, "E-mail to '" + group.recipientText + "' (sent, outbox rows " +
                                   rowsText(ids) + ") did not reach " + refusal.address + ": " +
                                   refusal.reason);
        }
        state.counters.addEmail();
    }
}

void dispatch(ServerState& state, const std::vector<RecipientGroup>& groups,
              MailTransport* transport) {
    std::unique_ptr<MailTransport> owned;
    for (std::size_t i = 0; i < groups.size(); ++i) {
        // Between messages: the one before is marked, the rest stay pending on a stop.
        state.control.checkpoint();
        const auto& group = groups[i];
        if (state.holds.held(group.recipientText)) {
            // Refused for good not long ago: skipped quietly until its wait is over.
            ++state.report.heldMessages;
            continue;
        }
        GroupDelivery delivery;
        try {
            if (transport == nullptr) {
                // Made only once there is something to send: unusable settings are no error
                // while the outbox is empty.
                owned = makeMailTransport(state);
                transport = owned.get();
            }
            sendGroup(state, *transport, group, delivery);
        } catch (const MessageRefused& e) {
            std::string text = "E-mail to '" + group.recipientText + "' not sent, outbox rows " +
                               rowsText(delivery.pendingIds(group)) + " stay pending: " + e.what();
            if (e.forGood()) {
                text += " (refused for good: tried again in " +
                        waitText(state.holds.refused(group.recipientText)) + ", not before)";
                ++state.report.heldMessages;
            }
            reportError(state, text);
            continue;
        } catch (const MailUnavailable& e) {
            std::size_t rows = delivery.pendingIds(group).size();
            for (std::size_t j = i + 1; j < groups.size(); ++j) {
                rows += groups[j].ids.size();
                state.report.heldMessages += state.holds.held(groups[j].recipientText) ? 1 : 0;
            }
            reportError(state, "E-mail dispatch stopped, " + std::to_string(groups.size() - i) +
                                   " message(s) with " + std::to_string(rows) +
                                   " outbox row(s) stay pending for the next run: " + e.what());
            return;
        }
    }
}

}  // namespace

void DispatchOutbox(ServerState& state) {
    dispatch(state, readOutbox(state), nullptr);
}

void DispatchOutbox(ServerState& state, MailTransport& transport) {
    dispatch(state, readOutbox(state), &transport);
}

}  // namespace fas::mail
