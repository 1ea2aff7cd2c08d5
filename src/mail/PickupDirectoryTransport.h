#pragma once

#include <filesystem>

#include "mail/MailTransport.h"
#include "mail/MessageComposer.h"

namespace fas::mail {

// Writes each message as an RFC 5322 .eml file (complete headers, the body as it would be
// sent) into a directory instead of sending it. A file appears under its final name only once
// it is complete, so a program that picks the files up never reads half of one.
class PickupDirectoryTransport : public MailTransport {
  public:
    explicit PickupDirectoryTransport(std::filesystem::path directory);

    const std::filesystem::path& directory() const { return directory_; }

    std::string checkDelivery() override;
    std::string destination() const override { return "pickup directory " + directory_.string(); }

  protected:
    DeliveryResult deliver(const OutgoingMessage& message) override;

  private:
    std::filesystem::path directory_;
    MessageStamper stamper_;
    std::uint64_t written_ = 0;
};

}  // namespace fas::mail
