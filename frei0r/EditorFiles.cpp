/* EditorFiles.cpp — a build step that writes the editors' descriptions of the filter from its parameter list:
   Kdenlive's effect XML, and Shotcut's filter folder (meta.qml, ui.qml) with named, ranged controls. */
#include "FilterParams.h"
#include "frei0r_api.h"

#include <cmath>
#include <cstdio>
#include <fstream>
#include <iostream>
#include <sstream>
#include <string>

namespace {

using cff0r::FilterParam;
using cff0r::Role;

std::string number(double v)
{
    char text[40];
    std::snprintf(text, sizeof text, "%.10g", v);
    return text;
}

std::string xmlEscaped(const std::string& text)
{
    std::string out;
    for (char c : text) {
        switch (c) {
        case '&': out += "&amp;"; break;
        case '<': out += "&lt;"; break;
        case '>': out += "&gt;"; break;
        case '"': out += "&quot;"; break;
        default: out += c;
        }
    }
    return out;
}

std::string qmlString(const std::string& text)
{
    std::string out = "'";
    for (char c : text) {
        if (c == '\'' || c == '\\') {
            out += '\\';
        }
        out += c;
    }
    return out + "'";
}

std::string hexColour(const PF_Pixel& c)
{
    char text[8];
    std::snprintf(text, sizeof text, "#%02x%02x%02x", c.red, c.green, c.blue);
    return text;
}

/* The frei0r default of an effect parameter, as the filter starts. */
double frei0rDefault(const FilterParam& p)
{
    const DirectValue v = directDefaults()[static_cast<std::size_t>(p.row->index)];
    return cff0r::toFrei0r(*p.row, v.number);
}

/* Kdenlive shows a value times `factor`, and has no shift: sliders starting at 0 show the effect's own range;
   others show their place in the range in percent, the range in the comment. */
void kdenliveSlider(std::ostream& out, const FilterParam& p)
{
    const ParamRow& row = *p.row;
    const double min = static_cast<double>(row.min);
    const double span = static_cast<double>(row.max) - min;
    const bool own = min == 0.0;
    out << "  <parameter type=\"animated\" name=\"" << xmlEscaped(p.name) << "\" default=\"" << number(frei0rDefault(p))
        << "\" min=\"0\" max=\"" << number(own ? span : 100.0) << "\" factor=\"" << number(own ? span : 100.0)
        << "\" decimals=\"" << (own ? row.precision : 2) << "\"" << (own ? "" : " suffix=\"%\"") << ">\n"
        << "    <name>" << xmlEscaped(p.name) << "</name>\n";
    if (!own) {
        out << "    <comment>" << xmlEscaped(number(min) + " to " + number(static_cast<double>(row.max)) +
                                               ", shown as 0 to 100 %")
            << "</comment>\n";
    }
    out << "  </parameter>\n";
}

std::string kdenliveXml()
{
    std::ostringstream out;
    out << "<?xml version=\"1.0\"?>\n<!DOCTYPE kpartgui>\n"
        << "<effect LC_NUMERIC=\"C\" tag=\"frei0r.crumbleforge\" id=\"frei0r.crumbleforge\">\n"
        << "  <name>Crumbleforge</name>\n"
        << "  <description>Footage as lo-fi grungy pixel patterns, block by block</description>\n"
        << "  <author>Briskandul</author>\n";
    for (const FilterParam& p : cff0r::filterParams()) {
        switch (p.role) {
        case Role::Settings:
            out << "  <parameter type=\"fixed\" name=\"" << p.name << "\" default=\"\">\n    <name>" << p.name
                << "</name>\n  </parameter>\n";
            break;
        case Role::FrameRate:
            out << "  <parameter type=\"constant\" name=\"" << p.name << "\" default=\"0.024\" min=\"1\" max=\"240\" "
                << "factor=\"1000\" decimals=\"3\" suffix=\" fps\">\n    <name>" << p.name
                << "</name>\n    <comment>Chaos steps once per frame at this rate: set the project's rate</comment>\n"
                << "  </parameter>\n";
            break;
        case Role::Milliseconds:
            out << "  <parameter type=\"fixed\" name=\"" << p.name << "\" default=\"0\">\n    <name>" << p.name
                << "</name>\n  </parameter>\n";
            break;
        case Role::Effect:
            if (p.type == F0R_PARAM_COLOR) {
                out << "  <parameter type=\"color\" name=\"" << xmlEscaped(p.name) << "\" default=\""
                    << hexColour(directDefaults()[static_cast<std::size_t>(p.row->index)].color) << "\">\n    <name>"
                    << xmlEscaped(p.name) << "</name>\n  </parameter>\n";
            } else if (p.type == F0R_PARAM_BOOL) {
                out << "  <parameter type=\"bool\" name=\"" << xmlEscaped(p.name) << "\" default=\"0\">\n    <name>"
                    << xmlEscaped(p.name) << "</name>\n  </parameter>\n";
            } else if (p.row->type == PF_Param_POPUP) {
                std::string values;
                std::string names;
                int choice = 1;
                for (const std::string& c : cff0r::choicesOf(*p.row)) {
                    values += (choice == 1 ? "" : ";") + number(cff0r::toFrei0r(*p.row, choice));
                    names += (choice == 1 ? "" : ",") + c;
                    ++choice;
                }
                out << "  <parameter type=\"list\" name=\"" << xmlEscaped(p.name) << "\" default=\"0\" paramlist=\""
                    << values << "\">\n    <paramlistdisplay>" << xmlEscaped(names) << "</paramlistdisplay>\n    <name>"
                    << xmlEscaped(p.name) << "</name>\n  </parameter>\n";
            } else {
                kdenliveSlider(out, p);
            }
            break;
        }
    }
    out << "</effect>\n";
    return out.str();
}

std::string metaQml()
{
    std::ostringstream out;
    out << "// The Crumbleforge frei0r filter as Shotcut lists it; written by the build from the filter's parameters.\n"
        << "import QtQuick 2.0\nimport org.shotcut.qml 1.0\n\nMetadata {\n"
        << "    type: Metadata.Filter\n    name: qsTr('Crumbleforge')\n"
        << "    keywords: qsTr('pixel pattern lo-fi grunge blocks retro', 'search keywords for the Crumbleforge "
           "filter') + ' crumbleforge'\n"
        << "    mlt_service: 'frei0r.crumbleforge'\n    qml: 'ui.qml'\n}\n";
    return out.str();
}

/* One row of controls per parameter: label, control, undo. Sliders show the effect's own numbers and set the
   filter's [0, 1] value; popups set (choice - 1) / (N - 1). */
std::string uiQml()
{
    std::ostringstream defaults;
    std::ostringstream reads;
    std::ostringstream rows;
    int n = 0;
    for (const FilterParam& p : cff0r::filterParams()) {
        const std::string id = "control" + std::to_string(n++);
        const std::string name = qmlString(p.name);
        if (p.role == Role::Settings || p.role == Role::Milliseconds) {
            continue; // for ffmpeg's command line
        }
        rows << "        Label {\n            text: qsTr(" << name << ")\n            Layout.alignment: Qt.AlignRight\n"
             << "        }\n";
        if (p.role == Role::FrameRate) {
            defaults << "            filter.set(" << name << ", profile.fps / 1000);\n";
            reads << "        " << id << ".value = filter.getDouble(" << name << ") * 1000;\n";
            rows << "        Shotcut.SliderSpinner {\n            id: " << id << "\n            minimumValue: 1\n"
                 << "            maximumValue: 240\n            decimals: 3\n            suffix: ' fps'\n"
                 << "            onValueChanged: filter.set(" << name << ", value / 1000)\n        }\n"
                 << "        Shotcut.UndoButton {\n            onClicked: " << id << ".value = profile.fps\n        }\n";
            continue;
        }
        const ParamRow& row = *p.row;
        const DirectValue v = directDefaults()[static_cast<std::size_t>(row.index)];
        if (p.type == F0R_PARAM_COLOR) {
            const std::string hex = qmlString(hexColour(v.color));
            defaults << "            filter.set(" << name << ", " << hex << ");\n";
            reads << "        " << id << ".value = filter.get(" << name << ");\n";
            rows << "        Shotcut.ColorPicker {\n            id: " << id << "\n"
                 << "            onValueChanged: filter.set(" << name << ", value)\n        }\n"
                 << "        Shotcut.UndoButton {\n            onClicked: " << id << ".value = " << hex << "\n        }\n";
        } else if (p.type == F0R_PARAM_BOOL) {
            defaults << "            filter.set(" << name << ", 0);\n";
            reads << "        " << id << ".checked = filter.getDouble(" << name << ") >= 0.5;\n";
            rows << "        CheckBox {\n            id: " << id << "\n"
                 << "            onClicked: filter.set(" << name << ", checked ? 1 : 0)\n        }\n"
                 << "        Shotcut.UndoButton {\n            onClicked: { " << id << ".checked = false; filter.set("
                 << name << ", 0); }\n        }\n";
        } else if (row.type == PF_Param_POPUP) {
            std::string model;
            for (const std::string& c : cff0r::choicesOf(row)) {
                model += (model.empty() ? "" : ", ") + qmlString(c);
            }
            const int last = row.numChoices - 1;
            defaults << "            filter.set(" << name << ", 0);\n";
            reads << "        " << id << ".currentIndex = Math.round(filter.getDouble(" << name << ") * " << last
                  << ");\n";
            rows << "        ComboBox {\n            id: " << id << "\n            implicitWidth: 200\n"
                 << "            model: [" << model << "]\n"
                 << "            onActivated: filter.set(" << name << ", currentIndex / " << last << ")\n        }\n"
                 << "        Shotcut.UndoButton {\n            onClicked: { " << id << ".currentIndex = 0; filter.set("
                 << name << ", 0); }\n        }\n";
        } else {
            const double min = static_cast<double>(row.min);
            const double span = static_cast<double>(row.max) - min;
            defaults << "            filter.set(" << name << ", " << number(cff0r::toFrei0r(row, v.number)) << ");\n";
            reads << "        " << id << ".value = " << number(min) << " + filter.getDouble(" << name << ") * "
                  << number(span) << ";\n";
            rows << "        Shotcut.SliderSpinner {\n            id: " << id << "\n            minimumValue: "
                 << number(min) << "\n            maximumValue: " << number(static_cast<double>(row.max))
                 << "\n            decimals: " << row.precision << "\n"
                 << "            onValueChanged: filter.set(" << name << ", (value - " << number(min) << ") / "
                 << number(span) << ")\n        }\n"
                 << "        Shotcut.UndoButton {\n            onClicked: " << id << ".value = " << number(v.number)
                 << "\n        }\n";
        }
    }
    std::ostringstream out;
    out << "// Controls of the Crumbleforge frei0r filter in Shotcut, in the effect's own numbers; written by the\n"
        << "// build from the filter's parameters.\n"
        << "import QtQuick 2.12\nimport QtQuick.Controls 2.12\nimport QtQuick.Layouts 1.12\n"
        << "import Shotcut.Controls 1.0 as Shotcut\n\n"
        << "Item {\n    width: 400\n    height: 560\n\n"
        << "    function setControls() {\n" << reads.str() << "    }\n\n"
        << "    Component.onCompleted: {\n        if (filter.isNew) {\n" << defaults.str() << "        }\n"
        << "        setControls();\n    }\n\n"
        << "    GridLayout {\n        anchors.fill: parent\n        anchors.margins: 8\n        columns: 3\n\n"
        << rows.str() << "        Item {\n            Layout.fillHeight: true\n        }\n    }\n}\n";
    return out.str();
}

bool write(const std::string& path, const std::string& text)
{
    std::ofstream file(path, std::ios::binary);
    file << text;
    return static_cast<bool>(file);
}

} // namespace

int main(int argc, char** argv)
{
    if (argc != 4) {
        std::cerr << "usage: crumbleforge_editor_files KDENLIVE_XML META_QML UI_QML\n";
        return 2;
    }
    if (!write(argv[1], kdenliveXml()) || !write(argv[2], metaQml()) || !write(argv[3], uiQml())) {
        std::cerr << "crumbleforge_editor_files: cannot write the files\n";
        return 1;
    }
    return 0;
}
