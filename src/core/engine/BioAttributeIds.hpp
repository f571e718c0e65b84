#pragma once

namespace penvora::core::engine {

// Object identifiers of the two custom signed attributes, under a private
// arc of ours (1.3.6.1.4.1.62411 = Penvora; .1 = signature attributes).
// Readers of our signatures look for exactly these; see ARCHITECTURE.md.
inline constexpr const char* kBioDataAttributeOid = "1.3.6.1.4.1.62411.1.1";     // protected record
inline constexpr const char* kBioSummaryAttributeOid = "1.3.6.1.4.1.62411.1.2";  // readable summary

}  // namespace penvora::core::engine
