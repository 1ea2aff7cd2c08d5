#include "mail/DispatchOutbox.h"

#include <cstdint>
#include <iostream>
#include <string>
#include <vector>

#include "db/Errors.h"
#include "mail/MailErrors.h"
#include "mail/MailTransportFactory.h"

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
    std::string idList;  // "5,9"
    std::size_t rows = 0;
};

std::vector<RecipientGroup> readOutbox(ServerState& state) {
    db::Database& db = state.db;
    std::vector<RecipientGroup> groups;
    // Read completely before the first message goes out: rows queued while messages go out
    // wait for the next run. Nothing is written while it is read. The bodies are read message by
    // message (messageBody): all of them together grow with the outbox of a first run.
    for (auto outbox = db.forward(kOutboxQuery); !outbox.eof(); outbox.moveNext()) {
        state.control.pulse();
        std::string recipientText = outbox.text("EmailTo");
        if (groups.empty() || groups.back().recipientText != recipientText) {
            groups.push_back({std::move(recipientText), {}, {}, {}, 0});
        }
        auto& group = groups.back();
        group.senderAddress = outbox.value("EmailFrom");
        group.senderName = outbox.value("EmailFromName");
        if (!group.idList.empty()) {
            group.idList += ',';
        }
        group.idList += std::to_string(outbox.int64("ID"));
        ++group.rows;
    }
    return groups;
}

// The group's outbox rows for a message: a digest can gather hundreds of rows.
std::string rowsText(const RecipientGroup& group) {
    constexpr std::size_t kShown = 10;
    if (group.rows <= kShown) {
        return group.idList;
    }
    std::size_t cut = 0;
    for (std::size_t shown = 0; shown < kShown; ++shown) {
        cut = group.idList.find(',', cut) + 1;
    }
    return group.idList.substr(0, cut - 1) + " and " + std::to_string(group.rows - kShown) +
           " more";
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

// The group's bodies in outbox order, each followed by a line break.
std::string messageBody(db::Database& db, const RecipientGroup& group) {
    std::string body;
    for (auto rows = db.forward("SELECT EmailBody FROM AutomationServer_EmailsSent WHERE ID IN (" +
                                group.idList + ") ORDER BY ID");
         !rows.eof(); rows.moveNext()) {
        body += rows.joined("EmailBody");
        body += "\r\n";
    }
    return body;
}

void markSent(db::Database& db, const RecipientGroup& group) {
    db.execute("UPDATE AutomationServer_EmailsSent SET EmailSent=1,DateSent=? WHERE ID IN (" +
                   group.idList + ")",
               {db::DateTime::nowLocal()});
}

void dispatch(ServerState& state, const std::vector<RecipientGroup>& groups,
              MailTransport* transport) {
    const std::string subject = "Notification from " + state.company.Name;
    std::unique_ptr<MailTransport> owned;
    for (std::size_t i = 0; i < groups.size(); ++i) {
        // Between messages: the one before is marked, the rest stay pending on a stop.
        state.control.checkpoint();
        const auto& group = groups[i];
        const std::string body = messageBody(state.db, group) + "\r\n\r\n\r\n" +
                                 state.company.AutomationServerEmailFooter;
        DeliveryResult result;
        try {
            if (transport == nullptr) {
                // Made only once there is something to send: unusable settings are no error
                // while the outbox is empty.
                owned = makeMailTransport(state);
                transport = owned.get();
            }
            result = transport->SendOutboxMessage(senderText(group.senderAddress, "EmailFrom"),
                                                  senderText(group.senderName, "EmailFromName"),
                                                  group.recipientText, subject, body);
        } catch (const MessageRefused& e) {
            reportError(state, "E-mail to '" + group.recipientText + "' not sent, outbox rows " +
                                   rowsText(group) + " stay pending: " + e.what());
            continue;
        } catch (const MailUnavailable& e) {
            std::size_t rows = 0;
            for (std::size_t j = i; j < groups.size(); ++j) {
                rows += groups[j].rows;
            }
            reportError(state, "E-mail dispatch stopped, " + std::to_string(groups.size() - i) +
                                   " message(s) with " + std::to_string(rows) +
                                   " outbox row(s) stay pending for the next run: " + e.what());
            return;
        }
        // Marked only once the server accepted the message: a failure between the two sends
        // it again next run (at least once, never lost).
        markSent(state.db, group);
        for (const auto& refusal : result.refused) {
            reportError(state, "E-mail to '" + group.recipientText + "' (sent, outbox rows " +
                                   rowsText(group) + ") did not reach " + refusal.address + ": " +
                                   refusal.reason);
        }
        state.counters.addEmail();
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
