// The cell actions answer the panel's questions and take the cells' calls, but act on
// none of them yet: clicks, hovers, drops and menus are carried out in the next step of
// the dock interface. Until then every query answers NO and every action does nothing.

#include "dock_ui/CellActionsDelegate.h"

#include "core/DockConfiguration.h"
#include "dock_ui/DockCollectionView.h"
#include "dock_ui/DockWindow.h"
#include "platform/ui/Menu.h"
#include "tracking/RunningApplicationEx.h"

namespace qs {

std::shared_ptr<CellActionsDelegate> CellActionsDelegate::initWhitCollectionView(
    DockCollectionView* collectionView, const std::shared_ptr<DockModel>& model,
    const std::shared_ptr<DockConfiguration>& configuration) {
    auto delegate = std::make_shared<CellActionsDelegate>();
    delegate->collectionView_ = collectionView;
    delegate->model_ = model;
    delegate->config_ = configuration;
    return delegate;
}

CellActionsDelegate::~CellActionsDelegate() = default;

std::shared_ptr<CellActionsDelegate> CellActionsDelegate::copyWithZone() const {
    return std::make_shared<CellActionsDelegate>();
}

DockWindow* CellActionsDelegate::docWindow() const { return docWindow_.data(); }
void CellActionsDelegate::setDocWindow(DockWindow* window) { docWindow_ = window; }
DockCollectionView* CellActionsDelegate::collectionView() const { return collectionView_.data(); }
void CellActionsDelegate::setCollectionView(DockCollectionView* collectionView) { collectionView_ = collectionView; }

bool CellActionsDelegate::isPreviewActive() const { return false; }
bool CellActionsDelegate::isStartMenuActive() const { return false; }
bool CellActionsDelegate::folderViewIsShow() const { return false; }
bool CellActionsDelegate::groupViewIsShow() const { return false; }
bool CellActionsDelegate::dockInMouseRect() const { return false; }

void CellActionsDelegate::mouseDown(const Event&) {}
void CellActionsDelegate::mouseDragged(const Event&) {}
void CellActionsDelegate::mouseUp(const Event&, QWidget*, const Value&, bool) {}
void CellActionsDelegate::showPreviewWhithObject(const std::optional<Dictionary>&) {}
void CellActionsDelegate::mouseStopedWhithDict(const Dictionary&) {}
void CellActionsDelegate::mouseEnteredWhithDict(const Dictionary&) {}
void CellActionsDelegate::mouseExited(const Event&, QWidget*, const Value&) {}
void CellActionsDelegate::prcessFiles(const std::vector<URLPtr>&, const Value&) {}

void CellActionsDelegate::hidePreview() {}
void CellActionsDelegate::hidePreviewIfPosible() {}
int CellActionsDelegate::getPreferredEdgeForConfig() const {
    auto c = config();
    if (!c) return 0;
    return (c->position() == 3 || c->position() == 1) ? 1 : 0;
}
void CellActionsDelegate::activateApp(const std::shared_ptr<RunningApplicationEx>&) {}
void CellActionsDelegate::reActivate(const std::shared_ptr<RunningApplicationEx>&) {}
QWidget* CellActionsDelegate::collectionViewItemForMousePoint(const Point&) const { return nullptr; }
void CellActionsDelegate::previewOnDelayWithItem(QWidget*) {}
void CellActionsDelegate::internalMouseEnteredInView(const Dictionary&) {}
void CellActionsDelegate::showTooltipInView(QWidget*, const Value&) {}
void CellActionsDelegate::disableDraged() {}

}  // namespace qs
