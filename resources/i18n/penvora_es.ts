<?xml version="1.0" encoding="utf-8"?>
<!DOCTYPE TS>
<TS version="2.1" language="es">
<context>
    <name>Localizable</name>
    <message>
        <source>IncorrectPDFExtension</source>
        <translation>El nombre del documento firmado debe terminar en .pdf</translation>
    </message>
    <message>
        <source>IncorrectPDFPassword</source>
        <translation>La contraseña del PDF es incorrecta</translation>
    </message>
    <message>
        <source>IncorrectRatio</source>
        <translation>Las proporciones del recuadro de firma no son válidas</translation>
    </message>
    <message>
        <source>IncorrectSignatureSize</source>
        <translation>El recuadro de firma es demasiado pequeño (mínimo 50 x 50 puntos)</translation>
    </message>
    <message>
        <source>IncorrectFindTextNil</source>
        <translation>No se ha indicado el texto que hay que buscar para la firma</translation>
    </message>
    <message>
        <source>IncorrectFloatText</source>
        <translation>No se ha encontrado el texto</translation>
    </message>
    <message>
        <source>onDocument</source>
        <translation>en el documento</translation>
    </message>
    <message>
        <source>manual</source>
        <translation>Manual</translation>
    </message>
    <message>
        <source>field</source>
        <translation>Campo de firma</translation>
    </message>
    <message>
        <source>fixed</source>
        <translation>Posición fija</translation>
    </message>
    <message>
        <source>float</source>
        <translation>Junto a un texto</translation>
    </message>
    <message>
        <source>loading_documents</source>
        <translation>Cargando documentos…</translation>
    </message>
    <message>
        <source>Page</source>
        <translation>Página</translation>
    </message>
    <message>
        <source>of</source>
        <translation>de</translation>
    </message>
    <message>
        <source>DragAndResize</source>
        <translation>Arrastre y redimensione</translation>
    </message>
    <message>
        <source>AddSignatureText</source>
        <translation>Texto de la firma</translation>
    </message>
    <message>
        <source>AddSignatureTextMessage</source>
        <translation>Introduzca un texto para mostrar junto a su firma</translation>
    </message>
    <message>
        <source>EnterSignatureText</source>
        <translation>Texto</translation>
    </message>
    <message>
        <source>Cancel</source>
        <translation>Cancelar</translation>
    </message>
    <message>
        <source>Accept</source>
        <translation>Aceptar</translation>
    </message>
    <message>
        <source>insert-password</source>
        <translation>Este documento está protegido. Introduzca su contraseña</translation>
    </message>
    <message>
        <source>password</source>
        <translation>Contraseña</translation>
    </message>
    <message>
        <source>no_cert_selected</source>
        <translation>Ningún certificado seleccionado</translation>
    </message>
    <message>
        <source>document_will_get_signed_by_default_cert</source>
        <translation>El documento se firmará con el certificado por defecto. </translation>
    </message>
    <message>
        <source>know_more</source>
        <translation>Más información</translation>
    </message>
    <message>
        <source>sign</source>
        <translation>Firmar</translation>
    </message>
    <message>
        <source>reject</source>
        <translation>Rechazar</translation>
    </message>
    <message>
        <source>share</source>
        <translation>Compartir</translation>
    </message>
    <message>
        <source>back</source>
        <translation>Atrás</translation>
    </message>
    <message>
        <source>erase</source>
        <translation>Borrar</translation>
    </message>
    <message>
        <source>signing_document</source>
        <translation>Firmando el documento…</translation>
    </message>
    <message>
        <source>reject_title</source>
        <translation>Rechazar el documento</translation>
    </message>
    <message>
        <source>reject_reason_placeholder</source>
        <translation>¿Por qué rechaza el documento?</translation>
    </message>
    <message>
        <source>reject_reason_too_short</source>
        <translation>Indique un motivo más largo</translation>
    </message>
    <message>
        <source>sign-here</source>
        <translation>Firme aquí</translation>
    </message>
    <message>
        <source>signature_moved_page</source>
        <translation>La firma se ha movido a otra página</translation>
    </message>
    <message>
        <source>accept</source>
        <translation>Aceptar</translation>
    </message>
    <message>
        <source>a11y_signing_screen</source>
        <translation>Firma de documento</translation>
    </message>
    <message>
        <source>a11y_signing_screen_description</source>
        <translation>Lea el documento y después fírmelo o recházelo</translation>
    </message>
    <message>
        <source>a11y_document</source>
        <translation>Documento</translation>
    </message>
    <message>
        <source>a11y_document_description</source>
        <translation>Las páginas del documento a firmar. Re Pág y Av Pág pasan las páginas; con un recuadro de firma colocado, las flechas lo mueven (Mayús para pasos mayores) y + y - cambian su tamaño</translation>
    </message>
    <message>
        <source>a11y_page_text</source>
        <translation>Página %1 de %2: %3</translation>
    </message>
    <message>
        <source>a11y_page_no_text</source>
        <translation>Página %1 de %2, sin texto</translation>
    </message>
    <message>
        <source>a11y_scroll_bar</source>
        <translation>Posición en el documento</translation>
    </message>
    <message>
        <source>a11y_signature_box</source>
        <translation>Recuadro de firma</translation>
    </message>
    <message>
        <source>a11y_signature_box_description</source>
        <translation>Las flechas lo mueven, Mayús para pasos mayores; + y - cambian su tamaño; Intro acepta, Escape lo quita</translation>
    </message>
    <message>
        <source>a11y_remove_signature</source>
        <translation>Quitar firma</translation>
    </message>
    <message>
        <source>a11y_accept_signature</source>
        <translation>Aceptar firma aquí</translation>
    </message>
    <message>
        <source>a11y_resize_signature</source>
        <translation>Cambiar tamaño de la firma</translation>
    </message>
    <message>
        <source>a11y_resize_signature_description</source>
        <translation>+ agranda la firma, - la reduce</translation>
    </message>
    <message>
        <source>a11y_canvas</source>
        <translation>Área para dibujar la firma</translation>
    </message>
    <message>
        <source>a11y_canvas_description</source>
        <translation>Dibuje aquí su firma con el dedo, un lápiz o el ratón</translation>
    </message>
    <message>
        <source>confirm-without-drawing</source>
        <translation>Confirmar sin dibujar</translation>
    </message>
    <message>
        <source>a11y_confirm_without_drawing_description</source>
        <translation>Firmar sin firma manuscrita, por ejemplo con el teclado</translation>
    </message>
    <message>
        <source>signed-without-drawing</source>
        <translation>Confirmado sin firma manuscrita</translation>
    </message>
    <message>
        <source>a11y_security_level</source>
        <translation>Nivel de seguridad de la firma</translation>
    </message>
    <message>
        <source>a11y_close</source>
        <translation>Cerrar</translation>
    </message>
    <message>
        <source>a11y_reject_reason</source>
        <translation>Motivo del rechazo</translation>
    </message>
    <message>
        <source>a11y_password_field</source>
        <translation>Contraseña del documento</translation>
    </message>
    <message>
        <source>a11y_warning</source>
        <translation>Aviso</translation>
    </message>
    <message>
        <source>a11y_learn_more</source>
        <translation>Más información sobre el certificado por defecto (abre una página web)</translation>
    </message>
    <message>
        <source>a11y_signature_text</source>
        <translation>Texto de la firma</translation>
    </message>
    <message>
        <source>a11y_signing_progress</source>
        <translation>Progreso de la firma</translation>
    </message>
</context>
</TS>
