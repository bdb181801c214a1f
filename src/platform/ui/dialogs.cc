#include "platform/ui/dialogs.h"

namespace kve {

int ModalResultOf(TMsgDlgBtn b) {
  switch (b) {
    case TMsgDlgBtn::mbYes: return mrYes;
    case TMsgDlgBtn::mbNo: return mrNo;
    case TMsgDlgBtn::mbOK: return mrOk;
    case TMsgDlgBtn::mbCancel: return mrCancel;
    case TMsgDlgBtn::mbAbort: return mrAbort;
    case TMsgDlgBtn::mbRetry: return mrRetry;
    case TMsgDlgBtn::mbIgnore: return mrIgnore;
    case TMsgDlgBtn::mbAll: return mrAll;
    case TMsgDlgBtn::mbNoToAll: return mrNoToAll;
    case TMsgDlgBtn::mbYesToAll: return mrYesToAll;
    case TMsgDlgBtn::mbHelp: return mrNone;
  }
  return mrNone;
}

}  // namespace kve
