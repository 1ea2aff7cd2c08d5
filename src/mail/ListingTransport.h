#pragma once

#include <cstdint>
#include <ostream>

#include "mail/MailTransport.h"

namespace fas::mail {

// Lists each message on a stream instead of sending it (a dry run without a pickup directory):
// recipients, subject and the first lines of the body.
class ListingTransport : public MailTransport {
  public:
    explicit ListingTransport(std::ostream& out, int bodyLines = 6);

    std::string checkDelivery() override;
    std::string destination() const override { return "listing on standard output"; }

  protected:
    DeliveryResult deliver(const OutgoingMessage& message) override;

  private:
    std::ostream& out_;
    int bodyLines_;
    std::uint64_t listed_ = 0;
};

}  // namespace fas::mail
