#pragma once
// The remote data module "Kve07000.rdmExpDados": the four methods the export screen calls,
// run on one database connection. Stateless: everything a call needs comes with it.
//
// Every method answers a failure on the server side (a database error, a request the data
// cannot serve) as its value, a text carrying the error; the caller raises it. Arguments
// are the JSON texts of the call, already checked for count and kind by the dispatcher.

#include <functional>
#include <map>
#include <optional>
#include <string>
#include <vector>

#include "platform/dataset/binary_packet.h"
#include "platform/db/database.h"
#include "platform/net/connection.h"
#include "server/image_layouts.h"
#include "server/sql_files.h"
#include "server/sql_params.h"

namespace kve::server {

struct Answer {
  RemoteValue value;
  std::map<int, std::string> byref;  // 1-based position -> final value
  bool failed = false;               // the value is the error text of a failure
};

class RdmExpDados {
 public:
  using Clock = std::function<TDateTime()>;
  RdmExpDados(Database& db, const SqlFiles& sql, Clock now = &TDateTime::Now);

  // 13 arguments: central, ListaAgreg (by ref), menu from/to, purchase requests from/to, AF
  // from/to, product-tree levels, NrSolic (by ref), product status T/A (by ref), product
  // grouping, operator. Answers the 26 table images in slot order.
  Answer GetTabelas(const std::vector<std::string>& args);
  // GetTabelas in two steps, for an answer written as it is made. PlanTabelas checks the
  // arguments and finds the branches; it raises what GetTabelas would answer as a failure.
  // ReadTabelas reads the 26 tables from one snapshot and hands each image to `emit` (which
  // may keep it only during the call) as soon as it is made; it raises a failure.
  struct TabelasPlan {
    SqlValues values;
    std::map<int, std::string> byref;
  };
  TabelasPlan PlanTabelas(const std::vector<std::string>& args);
  void ReadTabelas(const TabelasPlan& plan, const std::function<void(std::string_view)>& emit);
  // The by-reference values a failed GetTabelas sends back: as they came.
  static std::map<int, std::string> TabelasReceived(const std::vector<std::string>& args);
  // branch, device: the device's latest history row, or an empty table.
  Answer GetHistPalm(const std::vector<std::string>& args);
  // branch, device, message, kind ("0" export), error mark ("0" completed, "1" failed):
  // stores a row stamped with the server's time and answers it. With an idempotency key,
  // the key is stored with the row; a call that brings a stored key again gets the first
  // call's answer and writes nothing, or fails when its arguments differ from the first's.
  Answer InsHistPalm(const std::vector<std::string>& args);
  // The client's idempotency key of the call this module serves ("" none).
  void SetIdempotencyKey(std::string key) { idempotencyKey_ = std::move(key); }
  // code, all flag ("T" every grouping): the product groupings.
  Answer GetAgrupProd(const std::vector<std::string>& args);

 private:
  Answer GetTabelasOrFail(const std::vector<std::string>& args);
  // Runs the text `file` with `values` into an image of `layout`.
  std::string Image(std::string_view file, const ImageLayout& layout, const SqlValues& values);
  // The same image handed to `emit`, which may keep it only during the call.
  void ImageTo(std::string_view file, const ImageLayout& layout, const SqlValues& values,
               const std::function<void(std::string_view)>& emit);
  void Run(std::string_view file, const SqlValues& values, TClientDataSet* into);
  static std::string HistoryRow(const std::vector<std::string>& args, TDateTime when);
  static std::string ArgumentsHash(const std::vector<std::string>& args);
  // The stored answer of a call under the same key, if one was served.
  std::optional<Answer> Replayed(const std::string& argsHash, const std::vector<std::string>& args);

  Database& db_;
  const SqlFiles& sql_;
  Clock now_;
  PacketBuffer imageMemory_;
  std::string idempotencyKey_;  // one table image after the other is written into it
};

// The aggregated branches of a list "_0002_0003", in order. Raises ValueError naming the list
// when it is not "_" followed by codes of 1 to 4 characters.
std::vector<std::string> ParseBranchList(std::string_view list);
std::string JoinBranchList(const std::vector<std::string>& codes);

}  // namespace kve::server
