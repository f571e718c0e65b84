<?xml version="1.0" encoding="utf-8"?>
<!DOCTYPE TS>
<TS version="2.1" language="en">
<context>
    <name>Localizable</name>
    <message>
        <source>IncorrectPDFExtension</source>
        <translation>The signed document name must end with .pdf</translation>
    </message>
    <message>
        <source>IncorrectPDFPassword</source>
        <translation>The PDF password is incorrect</translation>
    </message>
    <message>
        <source>IncorrectRatio</source>
        <translation>The signature box proportions are not valid</translation>
    </message>
    <message>
        <source>IncorrectSignatureSize</source>
        <translation>The signature box is too small (minimum 50 x 50 points)</translation>
    </message>
    <message>
        <source>IncorrectFindTextNil</source>
        <translation>No text to search for was given for the signature</translation>
    </message>
    <message>
        <source>IncorrectFloatText</source>
        <translation>Could not find the text</translation>
    </message>
    <message>
        <source>onDocument</source>
        <translation>in the document</translation>
    </message>
    <message>
        <source>manual</source>
        <translation>Manual</translation>
    </message>
    <message>
        <source>field</source>
        <translation>Signature field</translation>
    </message>
    <message>
        <source>fixed</source>
        <translation>Fixed position</translation>
    </message>
    <message>
        <source>float</source>
        <translation>Next to a text</translation>
    </message>
    <message>
        <source>loading_documents</source>
        <translation>Loading documents…</translation>
    </message>
    <message>
        <source>Page</source>
        <translation>Page</translation>
    </message>
    <message>
        <source>of</source>
        <translation>of</translation>
    </message>
    <message>
        <source>DragAndResize</source>
        <translation>Drag and resize</translation>
    </message>
    <message>
        <source>AddSignatureText</source>
        <translation>Signature text</translation>
    </message>
    <message>
        <source>AddSignatureTextMessage</source>
        <translation>Enter a text to show with your signature</translation>
    </message>
    <message>
        <source>EnterSignatureText</source>
        <translation>Text</translation>
    </message>
    <message>
        <source>Cancel</source>
        <translation>Cancel</translation>
    </message>
    <message>
        <source>Accept</source>
        <translation>Accept</translation>
    </message>
    <message>
        <source>insert-password</source>
        <translation>This document is protected. Enter its password</translation>
    </message>
    <message>
        <source>password</source>
        <translation>Password</translation>
    </message>
    <message>
        <source>no_cert_selected</source>
        <translation>No certificate selected</translation>
    </message>
    <message>
        <source>document_will_get_signed_by_default_cert</source>
        <translation>The document will be signed with the default certificate. </translation>
    </message>
    <message>
        <source>know_more</source>
        <translation>Learn more</translation>
    </message>
    <message>
        <source>sign</source>
        <translation>Sign</translation>
    </message>
    <message>
        <source>reject</source>
        <translation>Reject</translation>
    </message>
    <message>
        <source>share</source>
        <translation>Share</translation>
    </message>
    <message>
        <source>back</source>
        <translation>Back</translation>
    </message>
    <message>
        <source>erase</source>
        <translation>Erase</translation>
    </message>
    <message>
        <source>signing_document</source>
        <translation>Signing the document…</translation>
    </message>
    <message>
        <source>reject_title</source>
        <translation>Reject the document</translation>
    </message>
    <message>
        <source>reject_reason_placeholder</source>
        <translation>Why do you reject the document?</translation>
    </message>
    <message>
        <source>reject_reason_too_short</source>
        <translation>Please give a longer reason</translation>
    </message>
    <message>
        <source>sign-here</source>
        <translation>Sign here</translation>
    </message>
    <message>
        <source>signature_moved_page</source>
        <translation>The signature moved to another page</translation>
    </message>
    <message>
        <source>accept</source>
        <translation>Accept</translation>
    </message>
    <message>
        <source>a11y_signing_screen</source>
        <translation>Document signing</translation>
    </message>
    <message>
        <source>a11y_signing_screen_description</source>
        <translation>Read the document, then sign or reject it</translation>
    </message>
    <message>
        <source>a11y_document</source>
        <translation>Document</translation>
    </message>
    <message>
        <source>a11y_document_description</source>
        <translation>The pages of the document to sign. Page Up and Page Down turn the pages; with a signature box placed, the arrow keys move it (Shift for larger steps) and + and - resize it</translation>
    </message>
    <message>
        <source>a11y_page_text</source>
        <translation>Page %1 of %2: %3</translation>
    </message>
    <message>
        <source>a11y_page_no_text</source>
        <translation>Page %1 of %2, without text</translation>
    </message>
    <message>
        <source>a11y_scroll_bar</source>
        <translation>Document position</translation>
    </message>
    <message>
        <source>a11y_signature_box</source>
        <translation>Signature box</translation>
    </message>
    <message>
        <source>a11y_signature_box_description</source>
        <translation>Arrow keys move it, Shift for larger steps; + and - resize it; Return accepts, Escape removes it</translation>
    </message>
    <message>
        <source>a11y_remove_signature</source>
        <translation>Remove signature</translation>
    </message>
    <message>
        <source>a11y_accept_signature</source>
        <translation>Accept signature here</translation>
    </message>
    <message>
        <source>a11y_resize_signature</source>
        <translation>Resize signature</translation>
    </message>
    <message>
        <source>a11y_resize_signature_description</source>
        <translation>+ enlarges the signature, - makes it smaller</translation>
    </message>
    <message>
        <source>a11y_canvas</source>
        <translation>Signature drawing area</translation>
    </message>
    <message>
        <source>a11y_canvas_description</source>
        <translation>Draw your signature here with a finger, pen or mouse</translation>
    </message>
    <message>
        <source>confirm-without-drawing</source>
        <translation>Confirm without drawing</translation>
    </message>
    <message>
        <source>a11y_confirm_without_drawing_description</source>
        <translation>Sign without a handwritten signature, for example with the keyboard</translation>
    </message>
    <message>
        <source>signed-without-drawing</source>
        <translation>Confirmed without a handwritten signature</translation>
    </message>
    <message>
        <source>a11y_security_level</source>
        <translation>Signature security level</translation>
    </message>
    <message>
        <source>a11y_close</source>
        <translation>Close</translation>
    </message>
    <message>
        <source>a11y_reject_reason</source>
        <translation>Reason for rejecting</translation>
    </message>
    <message>
        <source>a11y_password_field</source>
        <translation>Document password</translation>
    </message>
    <message>
        <source>a11y_warning</source>
        <translation>Warning</translation>
    </message>
    <message>
        <source>a11y_learn_more</source>
        <translation>Learn more about the default certificate (opens a web page)</translation>
    </message>
    <message>
        <source>a11y_signature_text</source>
        <translation>Signature text</translation>
    </message>
    <message>
        <source>a11y_signing_progress</source>
        <translation>Signing progress</translation>
    </message>
</context>
</TS>
