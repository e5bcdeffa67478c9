#include "listing.h"

namespace etherm::sim {

void ListDeck(Listing& listing, const std::string& heading, const std::vector<std::string>& deck) {
  listing.Line("** " + heading + " **");
  char num[32];
  for (size_t i = 0; i < deck.size(); ++i) {
    std::snprintf(num, sizeof num, "%5zu  ", i + 1);
    listing.Line(num + deck[i]);
  }
}

}  // namespace etherm::sim
