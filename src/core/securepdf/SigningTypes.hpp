#pragma once

namespace penvora::core::securepdf {

enum class CertStoreTypes { cstPFXFile };
enum class PDFSignSignatureProfiles { pfBaselineB, pfBaselineT };
enum class PDFSignValidationPolicies { vpNone, vpFullNoTrust };

}  // namespace penvora::core::securepdf
