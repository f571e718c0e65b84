// The host's own signing page: the Penvora pad, Erase and Sign.
import QtQuick
import QtQuick.Controls
import QtQuick.Layouts
import Penvora

ApplicationWindow {
    id: window
    width: 640
    height: 400
    visible: true
    title: qsTr("Sign the contract")

    // Signs the request the host was started with; the pad reports the
    // outcome (signingFinished or signingFailed). False when it cannot start.
    function sign() {
        const started = pad.signRequest(requestFile)
        status.text = started ? qsTr("Signing…") : qsTr("Not signed: %1").arg(pad.errorString)
        return started
    }

    ColumnLayout {
        anchors.fill: parent
        anchors.margins: 16
        spacing: 12

        Label {
            text: qsTr("Sign inside the box")
            font.pixelSize: 20
        }
        Rectangle {
            Layout.fillWidth: true
            Layout.fillHeight: true
            color: "white"
            border.color: "#5f6368"
            radius: 4

            SignatureView {
                id: pad
                objectName: "pad"
                anchors.fill: parent
                anchors.margins: 2
                strokeColor: "#0a2a6b"
                maximumStrokeWidth: 5
                Accessible.role: Accessible.Canvas
                Accessible.name: qsTr("Signature pad")
                onSigningFinished: files => status.text = qsTr("Signed: %1").arg(files[0])
                onSigningFailed: error => status.text = qsTr("Not signed: %1").arg(error)
            }
        }
        RowLayout {
            Button {
                text: qsTr("Erase")
                enabled: pad.hasSignature && !pad.signing
                onClicked: pad.clear()
            }
            Button {
                text: qsTr("Sign")
                highlighted: true
                // As the component's own panel: enough ink to be a signature.
                enabled: pad.pointCount >= 25 && !pad.signing
                onClicked: window.sign()
            }
            Label {
                id: status
                objectName: "status"
                Layout.fillWidth: true
                wrapMode: Text.Wrap
            }
        }
    }
}
