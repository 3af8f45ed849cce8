#pragma once

#include <array>
#include <string>

#include "C_Name_Val.h"
#include "FileIdentity.h"

namespace quorvel {

// The six ratio fields tx_ueber(0)..tx_ueber(5); there is no seventh.
inline constexpr int kRatioFields = 6;

// The options of the frame "Fahrzeug"; None only before InitEditor.
enum class TypeOption { None, Opt_waggon, Opt_DLok, Opt_Elok, Opt_Andere, Opt_Zelmo, Opt_Stadt };

// Everything the window shows and edits for the one open file. A plain value: the
// window shows it after each reaction, and writing a member never sets off a reaction.
struct EditorState {
    std::string tx_Datei;
    std::string tx_Masse;
    std::string tx_BremsK;
    std::string tx_ReibK;
    std::string tx_Leistung;
    std::string tx_U1;
    std::string tx_U2;
    std::string tx_U3;
    std::string tx_Treib;
    std::array<std::string, kRatioFields> tx_ueber;
    std::string tx_VMaxR;
    std::string tx_VmaxV;

    bool Fra_Motor_visible = false;
    std::array<bool, kRatioFields> tx_ueber_visible{true, true, true, true, true, true};

    // Opt_Stadt, Opt_Andere and Opt_Zelmo are never disabled.
    bool Opt_DLok_enabled = true;
    bool Opt_Elok_enabled = true;
    bool Opt_waggon_enabled = true;
    TypeOption selected = TypeOption::None;

    bool Edited = false;
    std::string LastFolder;
    quorvel::Entries Entries;
    // True while Entries holds a file read in full. A failed load leaves an empty list,
    // and saving that would wipe the file, so the save command refuses it.
    bool EntriesLoaded = false;
    Vehicle vehicle;  // HasMotor and GearCount of the file last read
    // The file tx_Datei names as it was loaded or last saved, so that a save notices
    // when another program changed it meanwhile.
    LoadedFile Loaded;
    // True when a save would change the loaded file beyond its field values (the load
    // notice told which way): the save then asks first if no backup keeps the file.
    bool ChangesBeyondFields = false;
};

}  // namespace quorvel
