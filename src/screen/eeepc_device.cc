// The eeePC code field, its look-up and its check.

#include "eeepc/epc_device.h"
#include "platform/maker/consiste.h"
#include "screen/frm_exp_dados.h"

namespace kve {

void TfrmExpDados::SetupEpc() {
  qryPalm.SetSQL(eeepc::DeviceListSql());
  qryVdPalm.SetSQL(eeepc::DeviceCheckSql());
  btnEpc.SetDataSource(&qryPalm.Rows());
  btnEpc.SetColumns({{"CDPALM", "Código"}, {"NMPALM", "Nome"}});
  medCdEPc.OnChange = [this] { medCdEPcChange(); };
  medCdEPc.OnExit = [this] { medCdEPcExit(); };
  btnEpc.OnBeforePesq = [this] { btnEPcBeforePesq(); };
  btnEpc.OnAfterPesq = [this] { btnEPcAfterPesq(); };
}

void TfrmExpDados::btnEPcBeforePesq() {
  eeepc::OpenDeviceList(qryPalm, medCdFilial.Text(), eeepc::kTypeEpc);
}

// The folder display waits for the field to be left or the export to be validated.
void TfrmExpDados::btnEPcAfterPesq() {
  medCdEPc.SetText(qryPalm.FieldByName("CDPALM").AsString());
  edtNmEPC.SetText(qryPalm.FieldByName("NMPALM").AsString());
}

void TfrmExpDados::medCdEPcChange() {
  edtNmEPC.SetText("");
  medDiretorios.SetText("");
}

void TfrmExpDados::medCdEPcExit() { Vd_ePc(medCdEPc.Text(), false); }

void TfrmExpDados::Vd_ePc(const std::string& code, bool required) {
  auto fail = [this](const char* key) {
    if (medCdEPc.CanFocus()) medCdEPc.SetFocus();
    Consiste::MensErro(svc_.dialogs, msgPadrao.Msg(key), true);
  };
  if (Consiste::EmptyString(medCdEPc.Text())) {
    medDiretorios.SetText("");
    if (required && Consiste::EmptyString(code)) fail("ePc_inf");
    return;
  }
  medCdEPc.SetText(Consiste::Ajusta(medCdEPc.Text(), eeepc::kDeviceCodeWidth));
  auto name = eeepc::FindDevice(qryVdPalm, medCdEPc.Text(), medCdFilial.Text(), eeepc::kTypeEpc);
  if (!name) return fail("ePc_NCad");
  edtNmEPC.SetText(*name);
  // A name that cannot be a computer name shows no folder: it never becomes part of a path,
  // and the deployment's share check refuses it.
  medDiretorios.SetText(eeepc::IsNetworkComputerName(*name) ? eeepc::EpcExportFolder(*name)
                                                           : std::string());
}

}  // namespace kve
