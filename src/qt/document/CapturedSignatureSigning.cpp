#include "penvora/CapturedSignatureSigning.hpp"

#include <QUrl>

#include "core/document/PDFDocument.hpp"
#include "core/engine/ESS.hpp"
#include "penvora/ErrorTexts.hpp"
#include "qt/document/PDFTextSearch.hpp"
#include "qt/document/SignaturePlacement.hpp"
#include "qt/ui/Localization.hpp"

namespace penvora {

CapturedSigningResult signCapturedSignature(const PenvoraSDKParams& params, const QImage& picture,
                                            const std::string& recordB64) {
  if (!params.fileProperties || !params.widget || !params.certificate || !params.commonProperties)
    return {{}, errortext::MissingParameters};
  const auto& files = *params.fileProperties;
  std::string entry = files.documentPath;
  if (entry.empty() && files.documentUris.size() == 1) entry = files.documentUris.front();
  if (entry.empty()) return {{}, errortext::NoDocument};
  const QUrl url(QString::fromStdString(entry), QUrl::StrictMode);
  const std::string path = url.isLocalFile() ? url.toLocalFile().toStdString() : entry;
  if (params.widget->widgetType == PenvoraSDKWidgetType::manual)
    return {{}, "manual positioning needs the signing screen"};
  if (picture.isNull()) return {{}, errortext::ErrorSigning};

  auto document = core::document::PDFDocument::open(path);
  if (!document) return {{}, errortext::DocumentNotAccessible};
  if (document->isLocked() && !document->unlockWithPassword(files.password))
    return {{}, qt::ui::localizedString(errorkey::IncorrectPDFPassword).toStdString()};
  const qt::document::PDFTextSearch text(QString::fromStdString(path), QString::fromStdString(files.password),
                                         &*document);
  const qt::document::SignaturePlacement placement(*document, text, *params.widget);
  if (const auto message = placement.validateWidget()) return {{}, message->toStdString()};

  ESSParams ess;
  if (!placement.placeSignature(picture, ess)) return {{}, errortext::ErrorSigning};
  if (params.certificate->handwrittenSignature) ess.pointsB64 = recordB64;
  // The engine signs the request's list of documents: here the one placed
  // on, in a copy so the host's parameters stay as they were.
  PenvoraSDKParams request = params;
  request.fileProperties = std::make_shared<PenvoraSDKFileProperties>(files);
  request.fileProperties->documentUris = {path};
  auto signedFiles = core::engine::ESS::signDocuments(request, ess);
  if (signedFiles.empty()) return {{}, errortext::ErrorSigning};
  return {std::move(signedFiles), {}};
}

}  // namespace penvora
