<?xml version="1.0" encoding="utf-8"?>
<!DOCTYPE TS>
<TS version="2.1" language="de_DE">
<context>
    <name>CommissioningProfile</name>
    <message>
        <source>not a setting of this type</source>
        <translation>keine Einstellung dieses Typs</translation>
    </message>
    <message>
        <source> is beyond what the node can hold</source>
        <translation> übersteigt, was der Knoten speichern kann</translation>
    </message>
    <message>
        <source> is not a whole number</source>
        <translation> ist keine ganze Zahl</translation>
    </message>
    <message>
        <source> has more than %1 decimals</source>
        <translation> hat mehr als %1 Nachkommastellen</translation>
    </message>
    <message>
        <source> is outside %1 to %2</source>
        <translation> liegt außerhalb von %1 bis %2</translation>
    </message>
    <message>
        <source>not a number</source>
        <translation>keine Zahl</translation>
    </message>
    <message>
        <source> is not a number</source>
        <translation> ist keine Zahl</translation>
    </message>
    <message>
        <source>not a pair [low, high]</source>
        <translation>kein Paar [unten, oben]</translation>
    </message>
    <message>
        <source>low</source>
        <translation>unten</translation>
    </message>
    <message>
        <source>high</source>
        <translation>oben</translation>
    </message>
    <message>
        <source>high %1 is below low %2</source>
        <translation>oben %1 liegt unter unten %2</translation>
    </message>
    <message>
        <source>not %1 hex digits</source>
        <translation>nicht %1 Hex-Ziffern</translation>
    </message>
    <message>
        <source>the %1 form has no such setting</source>
        <translation>das Formular für %1 hat keine solche Einstellung</translation>
    </message>
    <message>
        <source>not whole minutes from 0 to %1</source>
        <translation>keine ganzen Minuten von 0 bis %1</translation>
    </message>
    <message>
        <source>not a firmware version such as &quot;v2.1.0&quot;</source>
        <translation>keine Firmware-Version wie „v2.1.0“</translation>
    </message>
    <message>
        <source>a profile never holds an application key: keys are per device</source>
        <translation>ein Profil enthält nie einen Application Key: Schlüssel gelten je Gerät</translation>
    </message>
    <message>
        <source>unknown setting</source>
        <translation>unbekannte Einstellung</translation>
    </message>
    <message>
        <source>: not true or false</source>
        <translation>: nicht true oder false</translation>
    </message>
    <message>
        <source>cannot be read (%1)</source>
        <translation>kann nicht gelesen werden (%1)</translation>
    </message>
    <message>
        <source>larger than %1 bytes, not a profile</source>
        <translation>größer als %1 Bytes, kein Profil</translation>
    </message>
    <message>
        <source>not valid JSON (%1 at byte %2)</source>
        <translation>kein gültiges JSON (%1 bei Byte %2)</translation>
    </message>
    <message>
        <source>not a JSON object</source>
        <translation>kein JSON-Objekt</translation>
    </message>
    <message>
        <source>: unknown key</source>
        <translation>: unbekannter Schlüssel</translation>
    </message>
    <message>
        <source>missing</source>
        <translation>fehlt</translation>
    </message>
    <message>
        <source>&quot;format&quot;: %1, this tool reads format %2</source>
        <translation>&quot;format&quot;: %1, dieses Werkzeug liest Format %2</translation>
    </message>
    <message>
        <source>&quot;name&quot;: not a text</source>
        <translation>&quot;name&quot;: kein Text</translation>
    </message>
    <message>
        <source>&quot;types&quot;: missing or names no node type</source>
        <translation>&quot;types&quot;: fehlt oder nennt keinen Knotentyp</translation>
    </message>
    <message>
        <source>: not an object of settings</source>
        <translation>: kein Objekt mit Einstellungen</translation>
    </message>
    <message>
        <source>&quot;types&quot; / %1: not a node type; the node&apos;s &quot;Communication:&quot; text (shown in the status bar) or its form&apos;s title: %2</source>
        <translation>&quot;types&quot; / %1: kein Knotentyp; erlaubt sind der &quot;Communication:&quot;-Text des Knotens (in der Statusleiste angezeigt) oder der Titel seines Formulars: %2</translation>
    </message>
    <message>
        <source>: the key is given twice</source>
        <translation>: der Schlüssel steht zweimal darin</translation>
    </message>
    <message>
        <source>: not an object</source>
        <translation>: kein Objekt</translation>
    </message>
    <message>
        <source>: &quot;onPass&quot;, &quot;never&quot; or false</source>
        <translation>: &quot;onPass&quot;, &quot;never&quot; oder false</translation>
    </message>
    <message>
        <source>: needs %1 as well</source>
        <translation>: verlangt auch %1</translation>
    </message>
</context>
<context>
    <name>CommissioningSession</name>
    <message>
        <source>ORVA login</source>
        <translation>ORVA-Anmeldung</translation>
    </message>
    <message>
        <source>ORVA Node registration</source>
        <translation>ORVA-Knotenregistrierung</translation>
    </message>
    <message>
        <source>Node Registration</source>
        <translation>Knotenregistrierung</translation>
    </message>
    <message>
        <source>Verified</source>
        <translation>Geprüft</translation>
    </message>
    <message>
        <source>: port in use by another program</source>
        <translation>: Schnittstelle wird von einem anderen Programm benutzt</translation>
    </message>
    <message>
        <source>The commissioning journal cannot be written: </source>
        <translation>Das Inbetriebnahme-Journal kann nicht geschrieben werden: </translation>
    </message>
    <message>
        <source>profile: </source>
        <translation>Profil: </translation>
    </message>
    <message>
        <source>, node: </source>
        <translation>, Knoten: </translation>
    </message>
    <message>
        <source>Matches profile </source>
        <translation>Entspricht Profil </translation>
    </message>
    <message>
        <source>Profile </source>
        <translation>Profil </translation>
    </message>
    <message>
        <source>: the differences are filled in, Apply writes them</source>
        <translation>: die Abweichungen sind eingetragen, Übernehmen schreibt sie</translation>
    </message>
    <message>
        <source>Not as written: </source>
        <translation>Nicht wie geschrieben: </translation>
    </message>
    <message>
        <source>Please configure the ORVA server</source>
        <translation>Bitte den ORVA-Server einstellen</translation>
    </message>
    <message>
        <source>The server refused the user name or password.</source>
        <translation>Der Server hat Benutzername oder Passwort abgelehnt.</translation>
    </message>
    <message>
        <source>The server did not answer within 30 s.</source>
        <translation>Der Server hat nicht innerhalb von 30 s geantwortet.</translation>
    </message>
    <message>
        <source>The server cannot be reached: %1</source>
        <translation>Der Server ist nicht erreichbar: %1</translation>
    </message>
    <message>
        <source>The server&apos;s certificate is not trusted: %1</source>
        <translation>Dem Zertifikat des Servers wird nicht vertraut: %1</translation>
    </message>
    <message>
        <source>The login failed: %1</source>
        <translation>Die Anmeldung ist fehlgeschlagen: %1</translation>
    </message>
    <message>
        <source>Incorrect Credentials</source>
        <translation>Falsche Anmeldedaten</translation>
    </message>
    <message>
        <source>You need to log in</source>
        <translation>Sie müssen sich anmelden</translation>
    </message>
    <message>
        <source>Node added successfully</source>
        <translation>Knoten erfolgreich hinzugefügt</translation>
    </message>
    <message>
        <source>Node Updated</source>
        <translation>Knoten aktualisiert</translation>
    </message>
    <message>
        <source>The registration is kept and will be sent again by itself.</source>
        <translation>Die Registrierung wird aufbewahrt und von selbst erneut gesendet.</translation>
    </message>
    <message>
        <source>The server refused this registration; it is kept but not sent again.</source>
        <translation>Der Server hat diese Registrierung abgelehnt; sie wird aufbewahrt, aber nicht erneut gesendet.</translation>
    </message>
    <message>
        <source>Registration failed :</source>
        <translation>Registrierung fehlgeschlagen :</translation>
    </message>
    <message>
        <source>Firmware %1 is older than %2, the oldest profile %3 accepts</source>
        <translation>Firmware %1 ist älter als %2, die älteste, die das Profil %3 annimmt</translation>
    </message>
    <message>
        <source>The node is not shown without a login; reset it to try again.</source>
        <translation>Ohne Anmeldung wird der Knoten nicht angezeigt; zum erneuten Versuch den Knoten zurücksetzen.</translation>
    </message>
    <message>
        <source>The server did not answer.</source>
        <translation>Der Server hat nicht geantwortet.</translation>
    </message>
    <message>
        <source>The server answered %1.</source>
        <translation>Der Server antwortete %1.</translation>
    </message>
    <message>
        <source>The registration will be sent later</source>
        <translation>Die Registrierung wird später gesendet</translation>
    </message>
    <message>
        <source>The profile changed before the node was done</source>
        <translation>Das Profil wurde gewechselt, bevor der Knoten fertig war</translation>
    </message>
    <message>
        <source>The node was not read within the connect time-out</source>
        <translation>Der Knoten wurde nicht innerhalb der Verbindungszeit gelesen</translation>
    </message>
    <message>
        <source>Login failed: </source>
        <translation>Anmeldung fehlgeschlagen: </translation>
    </message>
    <message>
        <source>The node&apos;s port went away before it was done</source>
        <translation>Der Anschluss des Knotens verschwand, bevor er fertig war</translation>
    </message>
    <message>
        <source>The node&apos;s identifiers are enciphered under another key</source>
        <translation>Die Kennungen des Knotens sind mit einem anderen Schlüssel verschlüsselt</translation>
    </message>
    <message>
        <source>Node not configured</source>
        <translation>Knoten nicht konfiguriert</translation>
    </message>
    <message>
        <source>The node refused to sleep</source>
        <translation>Der Knoten verweigerte den Schlafzustand</translation>
    </message>
    <message>
        <source>The node refused a setting</source>
        <translation>Der Knoten verweigerte eine Einstellung</translation>
    </message>
    <message>
        <source>The node stopped answering the sleep command</source>
        <translation>Der Knoten antwortete nicht mehr auf den Schlafbefehl</translation>
    </message>
    <message>
        <source>The node stopped answering the write</source>
        <translation>Der Knoten antwortete nicht mehr beim Schreiben</translation>
    </message>
    <message>
        <source>The write ended without a known result</source>
        <translation>Das Schreiben endete ohne bekanntes Ergebnis</translation>
    </message>
    <message>
        <source>Registration failed: </source>
        <translation>Registrierung fehlgeschlagen: </translation>
    </message>
    <message>
        <source>The label is not this node&apos;s: </source>
        <translation>Das Etikett gehört nicht zu diesem Knoten: </translation>
    </message>
    <message>
        <source>The label cannot be read: </source>
        <translation>Das Etikett ist nicht lesbar: </translation>
    </message>
    <message>
        <source>The node does not match profile %1 after its write</source>
        <translation>Der Knoten entspricht nach dem Schreiben nicht dem Profil %1</translation>
    </message>
    <message>
        <source>Not registered: the login did not succeed</source>
        <translation>Nicht registriert: die Anmeldung gelang nicht</translation>
    </message>
    <message>
        <source>Not registered: the node does not report</source>
        <translation>Nicht registriert: der Knoten sendet keine Berichte</translation>
    </message>
    <message>
        <source>The node does not match profile %1 in what cannot be written</source>
        <translation>Der Knoten weicht vom Profil %1 in nicht schreibbaren Werten ab</translation>
    </message>
    <message>
        <source>The node did not start again after its write</source>
        <translation>Der Knoten startete nach dem Schreiben nicht wieder</translation>
    </message>
    <message>
        <source>The node did not confirm its sleep</source>
        <translation>Der Knoten bestätigte seinen Schlaf nicht</translation>
    </message>
</context>
<context>
    <name>FormLoRaOTAA</name>
    <message>
        <source>Form</source>
        <translation>Formular</translation>
    </message>
    <message>
        <source>LoRa OTAA</source>
        <translation>LoRa OTAA</translation>
    </message>
    <message>
        <source>00:00:00:00:00:00:00:00</source>
        <translation>00:00:00:00:00:00:00:00</translation>
    </message>
    <message>
        <source>Lock Description:</source>
        <translation>Schlossbeschreibung:</translation>
    </message>
    <message>
        <source>Application ID:</source>
        <translation>Anwendungs-ID:</translation>
    </message>
    <message>
        <source>&gt;HH-HH-HH-HH-HH-HH-HH-HH</source>
        <translation>&gt;HH-HH-HH-HH-HH-HH-HH-HH</translation>
    </message>
    <message>
        <source>Application Key:</source>
        <translation>Anw.-Schlüssel:</translation>
    </message>
    <message>
        <source>&gt;HH HH HH HH HH HH HH HH HH HH HH HH HH HH HH HH</source>
        <translation>&gt;HH HH HH HH HH HH HH HH HH HH HH HH HH HH HH HH</translation>
    </message>
    <message>
        <source>Thresholds</source>
        <translation>Schwellwerte</translation>
    </message>
    <message>
        <source>Sensor</source>
        <translation>Sensor</translation>
    </message>
    <message>
        <source>Low</source>
        <translation>Unten</translation>
    </message>
    <message>
        <source>High</source>
        <translation>Oben</translation>
    </message>
    <message>
        <source>Temperature (°C):</source>
        <translation>Temperatur (°C):</translation>
    </message>
    <message>
        <source>Humidity (%):</source>
        <translation>Feuchte (%):</translation>
    </message>
    <message>
        <source>Pressure (bar):</source>
        <translation>Druck (bar):</translation>
    </message>
    <message>
        <source>Accelerometer (G):</source>
        <translation>Beschleunigung (G):</translation>
    </message>
    <message>
        <source>Report Rate:</source>
        <translation>Meldeintervall:</translation>
    </message>
    <message>
        <source>&gt;HHHHHHHH</source>
        <translation>&gt;HHHHHHHH</translation>
    </message>
    <message>
        <source>Apply</source>
        <translation>Übernehmen</translation>
    </message>
    <message>
        <source>min</source>
        <translation>min</translation>
    </message>
</context>
<context>
    <name>FormLoRaOTAA5d</name>
    <message>
        <source>Form</source>
        <translation>Formular</translation>
    </message>
    <message>
        <source>LoRa OTAA</source>
        <translation>LoRa OTAA</translation>
    </message>
    <message>
        <source>00:00:00:00:00:00:00:00</source>
        <translation>00:00:00:00:00:00:00:00</translation>
    </message>
    <message>
        <source>Lock Description:</source>
        <translation>Schlossbeschreibung:</translation>
    </message>
    <message>
        <source>Application ID:</source>
        <translation>Anwendungs-ID:</translation>
    </message>
    <message>
        <source>&gt;HH-HH-HH-HH-HH-HH-HH-HH</source>
        <translation>&gt;HH-HH-HH-HH-HH-HH-HH-HH</translation>
    </message>
    <message>
        <source>Application Key:</source>
        <translation>Anw.-Schlüssel:</translation>
    </message>
    <message>
        <source>&gt;HH HH HH HH HH HH HH HH HH HH HH HH HH HH HH HH</source>
        <translation>&gt;HH HH HH HH HH HH HH HH HH HH HH HH HH HH HH HH</translation>
    </message>
    <message>
        <source>Thresholds</source>
        <translation>Schwellwerte</translation>
    </message>
    <message>
        <source>Sensor</source>
        <translation>Sensor</translation>
    </message>
    <message>
        <source>Low</source>
        <translation>Unten</translation>
    </message>
    <message>
        <source>High</source>
        <translation>Oben</translation>
    </message>
    <message>
        <source>Temperature (°C):</source>
        <translation>Temperatur (°C):</translation>
    </message>
    <message>
        <source>Humidity (%):</source>
        <translation>Feuchte (%):</translation>
    </message>
    <message>
        <source>Report Rate:</source>
        <translation>Meldeintervall:</translation>
    </message>
    <message>
        <source>&gt;HHHHHHHH</source>
        <translation>&gt;HHHHHHHH</translation>
    </message>
    <message>
        <source>min</source>
        <translation>min</translation>
    </message>
    <message>
        <source>Apply</source>
        <translation>Übernehmen</translation>
    </message>
</context>
<context>
    <name>FormPellimar</name>
    <message>
        <source>Form</source>
        <translation>Formular</translation>
    </message>
    <message>
        <source>PellimarNode</source>
        <translation>PellimarNode</translation>
    </message>
    <message>
        <source>00:00:00:00:00:00:00:00</source>
        <translation>00:00:00:00:00:00:00:00</translation>
    </message>
    <message>
        <source>Lock Description:</source>
        <translation>Schlossbeschreibung:</translation>
    </message>
    <message>
        <source>Application ID:</source>
        <translation>Anwendungs-ID:</translation>
    </message>
    <message>
        <source>&gt;HH-HH-HH-HH-HH-HH-HH-HH</source>
        <translation>&gt;HH-HH-HH-HH-HH-HH-HH-HH</translation>
    </message>
    <message>
        <source>Application Key:</source>
        <translation>Anw.-Schlüssel:</translation>
    </message>
    <message>
        <source>&gt;HH HH HH HH HH HH HH HH HH HH HH HH HH HH HH HH</source>
        <translation>&gt;HH HH HH HH HH HH HH HH HH HH HH HH HH HH HH HH</translation>
    </message>
    <message>
        <source>Network ID:</source>
        <translation>Netzwerk-ID:</translation>
    </message>
    <message>
        <source>&gt;HHHHHHHH</source>
        <translation>&gt;HHHHHHHH</translation>
    </message>
    <message>
        <source>Thresholds</source>
        <translation>Schwellwerte</translation>
    </message>
    <message>
        <source>Sensor</source>
        <translation>Sensor</translation>
    </message>
    <message>
        <source>Low</source>
        <translation>Unten</translation>
    </message>
    <message>
        <source>High</source>
        <translation>Oben</translation>
    </message>
    <message>
        <source>Temperature (°C):</source>
        <translation>Temperatur (°C):</translation>
    </message>
    <message>
        <source>Humidity (%):</source>
        <translation>Feuchte (%):</translation>
    </message>
    <message>
        <source>Pressure (bar):</source>
        <translation>Druck (bar):</translation>
    </message>
    <message>
        <source>Accelerometer (G):</source>
        <translation>Beschleunigung (G):</translation>
    </message>
    <message>
        <source>Report Rate:</source>
        <translation>Meldeintervall:</translation>
    </message>
    <message>
        <source>Apply</source>
        <translation>Übernehmen</translation>
    </message>
    <message>
        <source>min</source>
        <translation>min</translation>
    </message>
</context>
<context>
    <name>FormPellimar5d</name>
    <message>
        <source>Form</source>
        <translation>Formular</translation>
    </message>
    <message>
        <source>PellimarNode</source>
        <translation>PellimarNode</translation>
    </message>
    <message>
        <source>00:00:00:00:00:00:00:00</source>
        <translation>00:00:00:00:00:00:00:00</translation>
    </message>
    <message>
        <source>Lock Description:</source>
        <translation>Schlossbeschreibung:</translation>
    </message>
    <message>
        <source>Application ID:</source>
        <translation>Anwendungs-ID:</translation>
    </message>
    <message>
        <source>&gt;HH-HH-HH-HH-HH-HH-HH-HH</source>
        <translation>&gt;HH-HH-HH-HH-HH-HH-HH-HH</translation>
    </message>
    <message>
        <source>Application Key:</source>
        <translation>Anw.-Schlüssel:</translation>
    </message>
    <message>
        <source>&gt;HH HH HH HH HH HH HH HH HH HH HH HH HH HH HH HH</source>
        <translation>&gt;HH HH HH HH HH HH HH HH HH HH HH HH HH HH HH HH</translation>
    </message>
    <message>
        <source>Network ID:</source>
        <translation>Netzwerk-ID:</translation>
    </message>
    <message>
        <source>&gt;HHHHHHHH</source>
        <translation>&gt;HHHHHHHH</translation>
    </message>
    <message>
        <source>Thresholds</source>
        <translation>Schwellwerte</translation>
    </message>
    <message>
        <source>Sensor</source>
        <translation>Sensor</translation>
    </message>
    <message>
        <source>Low</source>
        <translation>Unten</translation>
    </message>
    <message>
        <source>High</source>
        <translation>Oben</translation>
    </message>
    <message>
        <source>Temperature (°C):</source>
        <translation>Temperatur (°C):</translation>
    </message>
    <message>
        <source>Humidity (%):</source>
        <translation>Feuchte (%):</translation>
    </message>
    <message>
        <source>Report Rate:</source>
        <translation>Meldeintervall:</translation>
    </message>
    <message>
        <source>min</source>
        <translation>min</translation>
    </message>
    <message>
        <source>Apply</source>
        <translation>Übernehmen</translation>
    </message>
</context>
<context>
    <name>FormSigFox</name>
    <message>
        <source>Form</source>
        <translation>Formular</translation>
    </message>
    <message>
        <source>SigFox</source>
        <translation>SigFox</translation>
    </message>
    <message>
        <source>ID:</source>
        <translation>ID:</translation>
    </message>
    <message>
        <source>01234567</source>
        <translation>01234567</translation>
    </message>
    <message>
        <source>PAC:</source>
        <translation>PAC:</translation>
    </message>
    <message>
        <source>0123456789ABCDEF</source>
        <translation>0123456789ABCDEF</translation>
    </message>
    <message>
        <source>Lock Description:</source>
        <translation>Schlossbeschreibung:</translation>
    </message>
    <message>
        <source>Thresholds</source>
        <translation>Schwellwerte</translation>
    </message>
    <message>
        <source>Sensor</source>
        <translation>Sensor</translation>
    </message>
    <message>
        <source>Low</source>
        <translation>Unten</translation>
    </message>
    <message>
        <source>High</source>
        <translation>Oben</translation>
    </message>
    <message>
        <source>Temperature (°C):</source>
        <translation>Temperatur (°C):</translation>
    </message>
    <message>
        <source>Humidity (%):</source>
        <translation>Feuchte (%):</translation>
    </message>
    <message>
        <source>Pressure (bar):</source>
        <translation>Druck (bar):</translation>
    </message>
    <message>
        <source>Accelerometer (G):</source>
        <translation>Beschleunigung (G):</translation>
    </message>
    <message>
        <source>Report Rate:</source>
        <translation>Meldeintervall:</translation>
    </message>
    <message>
        <source>&gt;HHHHHHHH</source>
        <translation>&gt;HHHHHHHH</translation>
    </message>
    <message>
        <source>Apply</source>
        <translation>Übernehmen</translation>
    </message>
    <message>
        <source>min</source>
        <translation>min</translation>
    </message>
</context>
<context>
    <name>FormSigFox5d</name>
    <message>
        <source>Form</source>
        <translation>Formular</translation>
    </message>
    <message>
        <source>SigFox</source>
        <translation>SigFox</translation>
    </message>
    <message>
        <source>ID:</source>
        <translation>ID:</translation>
    </message>
    <message>
        <source>01234567</source>
        <translation>01234567</translation>
    </message>
    <message>
        <source>PAC:</source>
        <translation>PAC:</translation>
    </message>
    <message>
        <source>0123456789ABCDEF</source>
        <translation>0123456789ABCDEF</translation>
    </message>
    <message>
        <source>Lock Description:</source>
        <translation>Schlossbeschreibung:</translation>
    </message>
    <message>
        <source>Thresholds</source>
        <translation>Schwellwerte</translation>
    </message>
    <message>
        <source>Sensor</source>
        <translation>Sensor</translation>
    </message>
    <message>
        <source>Low</source>
        <translation>Unten</translation>
    </message>
    <message>
        <source>High</source>
        <translation>Oben</translation>
    </message>
    <message>
        <source>Temperature (°C):</source>
        <translation>Temperatur (°C):</translation>
    </message>
    <message>
        <source>Humidity (%):</source>
        <translation>Feuchte (%):</translation>
    </message>
    <message>
        <source>Report Rate:</source>
        <translation>Meldeintervall:</translation>
    </message>
    <message>
        <source>&gt;HHHHHHHH</source>
        <translation>&gt;HHHHHHHH</translation>
    </message>
    <message>
        <source>min</source>
        <translation>min</translation>
    </message>
    <message>
        <source>Apply</source>
        <translation>Übernehmen</translation>
    </message>
</context>
<context>
    <name>HistoryTableModel</name>
    <message>
        <source>yes</source>
        <translation>ja</translation>
    </message>
    <message>
        <source>no</source>
        <translation>nein</translation>
    </message>
    <message>
        <source>Last event (UTC)</source>
        <translation>Letztes Ereignis (UTC)</translation>
    </message>
    <message>
        <source>Identifier</source>
        <translation>Kennung</translation>
    </message>
    <message>
        <source>Lot</source>
        <translation>Los</translation>
    </message>
    <message>
        <source>Type</source>
        <translation>Typ</translation>
    </message>
    <message>
        <source>Firmware</source>
        <translation>Firmware</translation>
    </message>
    <message>
        <source>Written</source>
        <translation>Geschrieben</translation>
    </message>
    <message>
        <source>Verification</source>
        <translation>Prüfung</translation>
    </message>
    <message>
        <source>Label</source>
        <translation>Etikett</translation>
    </message>
    <message>
        <source>Registration</source>
        <translation>Registrierung</translation>
    </message>
    <message>
        <source>Sleeping</source>
        <translation>Schlafend</translation>
    </message>
    <message>
        <source>ok</source>
        <translation>ok</translation>
    </message>
    <message>
        <source>mismatches</source>
        <translation>Abweichungen</translation>
    </message>
    <message>
        <source>none</source>
        <translation>keine</translation>
    </message>
    <message>
        <source>matches</source>
        <translation>stimmt überein</translation>
    </message>
    <message>
        <source>does not match</source>
        <translation>stimmt nicht überein</translation>
    </message>
    <message>
        <source>added</source>
        <translation>hinzugefügt</translation>
    </message>
    <message>
        <source>updated</source>
        <translation>aktualisiert</translation>
    </message>
    <message>
        <source>waiting</source>
        <translation>wartet</translation>
    </message>
    <message>
        <source>refused</source>
        <translation>abgelehnt</translation>
    </message>
    <message>
        <source>pending</source>
        <translation>ausstehend</translation>
    </message>
    <message>
        <source>failed</source>
        <translation>fehlgeschlagen</translation>
    </message>
    <message>
        <source>done</source>
        <translation>erledigt</translation>
    </message>
    <message>
        <source>timed out</source>
        <translation>Zeitüberschreitung</translation>
    </message>
    <message>
        <source>Bench</source>
        <translation>Prüfplatz</translation>
    </message>
</context>
<context>
    <name>HistoryWindow</name>
    <message>
        <source>Commissioning history</source>
        <translation>Inbetriebnahme-Verlauf</translation>
    </message>
    <message>
        <source>Identifier or text</source>
        <translation>Kennung oder Text</translation>
    </message>
    <message>
        <source>All dates</source>
        <translation>Alle Daten</translation>
    </message>
    <message>
        <source>yyyy-MM-dd</source>
        <translation>yyyy-MM-dd</translation>
    </message>
    <message>
        <source>to</source>
        <translation>bis</translation>
    </message>
    <message>
        <source>Export…</source>
        <translation>Exportieren…</translation>
    </message>
    <message>
        <source>Loading…</source>
        <translation>Wird geladen…</translation>
    </message>
    <message>
        <source>Double-click a node or press Enter to see its events.</source>
        <translation>Doppelklick auf einen Knoten oder Eingabetaste zeigt seine Ereignisse.</translation>
    </message>
    <message>
        <source>All lots</source>
        <translation>Alle Lose</translation>
    </message>
    <message>
        <source>No lot</source>
        <translation>Kein Los</translation>
    </message>
    <message>
        <source>No journal could be read at %1: %2</source>
        <translation>Unter %1 konnte kein Journal gelesen werden: %2</translation>
    </message>
    <message numerus="yes">
        <source>%n node(s) shown</source>
        <translation>
            <numerusform>%n Knoten angezeigt</numerusform>
            <numerusform>%n Knoten angezeigt</numerusform>
        </translation>
    </message>
    <message numerus="yes">
        <source>, %n journal entries</source>
        <translation>
            <numerusform>, %n Journaleintrag</numerusform>
            <numerusform>, %n Journaleinträge</numerusform>
        </translation>
    </message>
    <message numerus="yes">
        <source>, %n incomplete line(s) skipped</source>
        <translation>
            <numerusform>, %n unvollständige Zeile übersprungen</numerusform>
            <numerusform>, %n unvollständige Zeilen übersprungen</numerusform>
        </translation>
    </message>
    <message>
        <source>Export history</source>
        <translation>Verlauf exportieren</translation>
    </message>
    <message>
        <source>CSV (*.csv);;JSON lines (*.jsonl *.json)</source>
        <translation>CSV (*.csv);;JSON-Zeilen (*.jsonl *.json)</translation>
    </message>
    <message numerus="yes">
        <source>%n node(s) exported to %1</source>
        <translation>
            <numerusform>%n Knoten nach %1 exportiert</numerusform>
            <numerusform>%n Knoten nach %1 exportiert</numerusform>
        </translation>
    </message>
    <message>
        <source>Export failed</source>
        <translation>Export fehlgeschlagen</translation>
    </message>
    <message>
        <source>Could not export: %1</source>
        <translation>Export nicht möglich: %1</translation>
    </message>
    <message>
        <source>Nodes</source>
        <translation>Knoten</translation>
    </message>
    <message>
        <source>Lot view</source>
        <translation>Los-Ansicht</translation>
    </message>
    <message>
        <source>This bench&apos;s own journal, or the entries of every bench in the shared database</source>
        <translation>Das eigene Journal dieses Prüfplatzes oder die Einträge aller Prüfplätze in der gemeinsamen Datenbank</translation>
    </message>
    <message>
        <source>This bench</source>
        <translation>Dieser Prüfplatz</translation>
    </message>
    <message>
        <source>All benches</source>
        <translation>Alle Prüfplätze</translation>
    </message>
    <message>
        <source>Reading the shared database…</source>
        <translation>Gemeinsame Datenbank wird gelesen…</translation>
    </message>
    <message>
        <source>Every bench</source>
        <translation>Jeder Prüfplatz</translation>
    </message>
    <message>
        <source>The shared database could not be read: %1</source>
        <translation>Die gemeinsame Datenbank konnte nicht gelesen werden: %1</translation>
    </message>
    <message numerus="yes">
        <source> from %n bench(es)</source>
        <translation>
            <numerusform> von %n Prüfplatz</numerusform>
            <numerusform> von %n Prüfplätzen</numerusform>
        </translation>
    </message>
    <message>
        <source>Print Label</source>
        <translation>Etikett drucken</translation>
    </message>
    <message>
        <source>Choose the node to print a label for</source>
        <translation>Den Knoten wählen, für den ein Etikett gedruckt werden soll</translation>
    </message>
    <message>
        <source>The journal keeps no PAC: print the label of SigFox node %1 while it is on the bench</source>
        <translation>Das Journal speichert keinen PAC: das Etikett des SigFox-Knotens %1 drucken, solange er am Prüfplatz ist</translation>
    </message>
    <message>
        <source>The journal holds no JoinEUI of %1: print its label while the node is on the bench</source>
        <translation>Das Journal enthält keine JoinEUI von %1: das Etikett drucken, solange der Knoten am Prüfplatz ist</translation>
    </message>
</context>
<context>
    <name>JournalExportCommand</name>
    <message>
        <source>Write the commissioning history to &lt;file&gt; (.csv, .jsonl or .json) and exit.</source>
        <translation>Den Inbetriebnahme-Verlauf in &lt;file&gt; (.csv, .jsonl oder .json) schreiben und beenden.</translation>
    </message>
    <message>
        <source>Read the journal from &lt;file&gt; instead of the user&apos;s journal.</source>
        <translation>Das Journal aus &lt;file&gt; lesen statt aus dem Journal des Benutzers.</translation>
    </message>
    <message>
        <source>Export only the lot &lt;name&gt;.</source>
        <translation>Nur das Los &lt;name&gt; exportieren.</translation>
    </message>
    <message>
        <source>Export only events on or after &lt;date&gt; (YYYY-MM-DD, UTC).</source>
        <translation>Nur Ereignisse am oder nach &lt;date&gt; exportieren (JJJJ-MM-TT, UTC).</translation>
    </message>
    <message>
        <source>Export only events on or before &lt;date&gt; (YYYY-MM-DD, UTC).</source>
        <translation>Nur Ereignisse am oder vor &lt;date&gt; exportieren (JJJJ-MM-TT, UTC).</translation>
    </message>
    <message>
        <source>%1: the file name must end in .csv, .jsonl or .json</source>
        <translation>%1: der Dateiname muss auf .csv, .jsonl oder .json enden</translation>
    </message>
    <message>
        <source>--%1 %2: expected a date as YYYY-MM-DD</source>
        <translation>--%1 %2: erwartet wird ein Datum als JJJJ-MM-TT</translation>
    </message>
    <message>
        <source>--since is after --until</source>
        <translation>--since liegt nach --until</translation>
    </message>
    <message>
        <source>cannot read the journal %1: %2</source>
        <translation>das Journal %1 kann nicht gelesen werden: %2</translation>
    </message>
    <message>
        <source>no data directory</source>
        <translation>kein Datenverzeichnis</translation>
    </message>
    <message>
        <source>cannot write %1</source>
        <translation>%1 kann nicht geschrieben werden</translation>
    </message>
    <message numerus="yes">
        <source>skipped %n incomplete journal line(s)</source>
        <translation>
            <numerusform>%n unvollständige Journalzeile übersprungen</numerusform>
            <numerusform>%n unvollständige Journalzeilen übersprungen</numerusform>
        </translation>
    </message>
    <message numerus="yes">
        <source>exported %n row(s) to %1</source>
        <translation>
            <numerusform>%n Zeile nach %1 exportiert</numerusform>
            <numerusform>%n Zeilen nach %1 exportiert</numerusform>
        </translation>
    </message>
    <message>
        <source>no entries matched; %1 not written</source>
        <translation>keine Einträge gefunden; %1 nicht geschrieben</translation>
    </message>
    <message>
        <source>Write one unit record per line (.jsonl or .json) instead of the history&apos;s rows.</source>
        <translation>Einen Datensatz pro Einheit und Zeile (.jsonl oder .json) statt der Zeilen des Verlaufs schreiben.</translation>
    </message>
    <message numerus="yes">
        <source>exported %n unit record(s) to %1</source>
        <translation>
            <numerusform>%n Datensatz einer Einheit nach %1 exportiert</numerusform>
            <numerusform>%n Datensätze von Einheiten nach %1 exportiert</numerusform>
        </translation>
    </message>
    <message>
        <source>%1: unit records are written as .jsonl or .json</source>
        <translation>%1: Datensätze der Einheiten werden als .jsonl oder .json geschrieben</translation>
    </message>
    <message>
        <source>Read every bench&apos;s entries from the shared database &lt;url&gt; (postgresql://user@host:port/dbname; the password from PGPASSWORD or ~/.pgpass) instead of the journal.</source>
        <translation>Die Einträge aller Prüfplätze aus der gemeinsamen Datenbank &lt;url&gt; lesen (postgresql://user@host:port/dbname; das Passwort aus PGPASSWORD oder ~/.pgpass) statt aus dem Journal.</translation>
    </message>
    <message>
        <source>--journal does not go with --database</source>
        <translation>--journal passt nicht zu --database</translation>
    </message>
    <message>
        <source>cannot read the shared database: %1</source>
        <translation>die gemeinsame Datenbank kann nicht gelesen werden: %1</translation>
    </message>
    <message>
        <source>--journal, --lot, --since, --until, --records and --database only go with --export-journal FILE</source>
        <translation>--journal, --lot, --since, --until, --records und --database gehen nur mit --export-journal DATEI</translation>
    </message>
</context>
<context>
    <name>LabelCode</name>
    <message>
        <source>Not a label: expected a LoRaWAN QR code (LW:D0:…), a 16-digit DevEUI or a SigFox ID (up to 8 hex digits, optionally followed by its 16-digit PAC)</source>
        <translation>Kein Etikett: erwartet wird ein LoRaWAN-QR-Code (LW:D0:…), eine 16-stellige DevEUI oder eine SigFox-ID (bis zu 8 Hex-Ziffern, wahlweise gefolgt von ihrem 16-stelligen PAC)</translation>
    </message>
    <message>
        <source>Not a LoRaWAN QR code: expected LW:D0:&lt;JoinEUI, 16 hex digits&gt;:&lt;DevEUI, 16 hex digits&gt;:&lt;profile id, 8 hex digits&gt;</source>
        <translation>Kein LoRaWAN-QR-Code: erwartet wird LW:D0:&lt;JoinEUI, 16 Hex-Ziffern&gt;:&lt;DevEUI, 16 Hex-Ziffern&gt;:&lt;Profil-ID, 8 Hex-Ziffern&gt;</translation>
    </message>
    <message>
        <source>without identifier</source>
        <translation>ohne Kennung</translation>
    </message>
    <message>
        <source>Not a LoRaWAN QR code: field &quot;%1&quot; does not start with a letter</source>
        <translation>Kein LoRaWAN-QR-Code: Feld „%1“ beginnt nicht mit einem Buchstaben</translation>
    </message>
    <message>
        <source>Label %1 does not match node %2</source>
        <translation>Etikett %1 passt nicht zu Knoten %2</translation>
    </message>
    <message>
        <source>The PAC on label %1 does not match node %2</source>
        <translation>Der PAC auf Etikett %1 passt nicht zu Knoten %2</translation>
    </message>
    <message>
        <source>Label matches</source>
        <translation>Etikett passt</translation>
    </message>
    <message>
        <source>The JoinEUI %1 on the label is not the node&apos;s (%2)</source>
        <translation>Die JoinEUI %1 auf dem Etikett passt nicht zum Knoten (%2)</translation>
    </message>
    <message>
        <source>The label&apos;s profile id %1 is not the profile&apos;s %2</source>
        <translation>Die Profil-ID %1 des Etiketts passt nicht zum Profil (%2)</translation>
    </message>
</context>
<context>
    <name>LabelPrinter</name>
    <message>
        <source>No printer is set up on this computer</source>
        <translation>Auf diesem Rechner ist kein Drucker eingerichtet</translation>
    </message>
    <message>
        <source>The printer %1 is not known to this computer</source>
        <translation>Der Drucker %1 ist diesem Rechner nicht bekannt</translation>
    </message>
    <message>
        <source>The printer %1 cannot be used</source>
        <translation>Der Drucker %1 kann nicht verwendet werden</translation>
    </message>
    <message>
        <source>The printer %1 does not take the label</source>
        <translation>Der Drucker %1 nimmt das Etikett nicht an</translation>
    </message>
    <message>
        <source>The printer %1 failed</source>
        <translation>Der Drucker %1 ist fehlgeschlagen</translation>
    </message>
</context>
<context>
    <name>LabelSettingsDialog</name>
    <message>
        <source>Label</source>
        <translation>Etikett</translation>
    </message>
    <message>
        <source>Width:</source>
        <translation>Breite:</translation>
    </message>
    <message>
        <source> mm</source>
        <translation> mm</translation>
    </message>
    <message>
        <source>Height:</source>
        <translation>Höhe:</translation>
    </message>
    <message>
        <source>Printer:</source>
        <translation>Drucker:</translation>
    </message>
    <message>
        <source>Preview (a sample node):</source>
        <translation>Vorschau (ein Beispielknoten):</translation>
    </message>
    <message>
        <source>The system&apos;s default printer</source>
        <translation>Standarddrucker des Systems</translation>
    </message>
    <message>
        <source>%1 (not found)</source>
        <translation>%1 (nicht gefunden)</translation>
    </message>
</context>
<context>
    <name>LotCharts</name>
    <message>
        <source>Failure reasons</source>
        <translation>Fehlerursachen</translation>
    </message>
    <message>
        <source>Failed units</source>
        <translation>Fehlgeschlagene Geräte</translation>
    </message>
    <message>
        <source>Cumulative share</source>
        <translation>Kumulierter Anteil</translation>
    </message>
    <message>
        <source>No failures</source>
        <translation>Keine Fehler</translation>
    </message>
    <message>
        <source>Units</source>
        <translation>Geräte</translation>
    </message>
    <message>
        <source>Units per hour</source>
        <translation>Geräte pro Stunde</translation>
    </message>
    <message>
        <source>Hour</source>
        <translation>Stunde</translation>
    </message>
    <message>
        <source>Other reasons</source>
        <translation>Andere Ursachen</translation>
    </message>
</context>
<context>
    <name>LotReport</name>
    <message>
        <source>Lot report %1</source>
        <translation>Losbericht %1</translation>
    </message>
    <message>
        <source>the PDF could not be started</source>
        <translation>das PDF konnte nicht begonnen werden</translation>
    </message>
    <message>
        <source>Lot report: %1</source>
        <translation>Losbericht: %1</translation>
    </message>
    <message>
        <source>From %1 to %2 (UTC)</source>
        <translation>Von %1 bis %2 (UTC)</translation>
    </message>
    <message>
        <source>First-pass yield: %1 % (%2 of %3 units passed at their first attempt)</source>
        <translation>Erstausbeute: %1 % (%2 von %3 Geräten beim ersten Versuch bestanden)</translation>
    </message>
    <message numerus="yes">
        <source>Time per unit: median %1, 95th percentile %2 (of %n closed unit(s))</source>
        <translation>
            <numerusform>Zeit pro Gerät: Median %1, 95. Perzentil %2 (von %n abgeschlossenen Gerät)</numerusform>
            <numerusform>Zeit pro Gerät: Median %1, 95. Perzentil %2 (von %n abgeschlossenen Geräten)</numerusform>
        </translation>
    </message>
    <message>
        <source>Time per unit: no closed units</source>
        <translation>Zeit pro Gerät: keine abgeschlossenen Geräte</translation>
    </message>
    <message numerus="yes">
        <source>Failed units: %n</source>
        <translation>
            <numerusform>Fehlgeschlagene Geräte: %n</numerusform>
            <numerusform>Fehlgeschlagene Geräte: %n</numerusform>
        </translation>
    </message>
    <message>
        <source>Unit</source>
        <translation>Gerät</translation>
    </message>
    <message>
        <source>Attempt</source>
        <translation>Versuch</translation>
    </message>
    <message>
        <source>Started</source>
        <translation>Begonnen</translation>
    </message>
    <message>
        <source>Reason</source>
        <translation>Ursache</translation>
    </message>
    <message numerus="yes">
        <source>… and %n more</source>
        <translation>
            <numerusform>… und %n weiteres</numerusform>
            <numerusform>… und %n weitere</numerusform>
        </translation>
    </message>
    <message>
        <source>unknown node</source>
        <translation>unbekannter Knoten</translation>
    </message>
    <message>
        <source>the PDF could not be finished</source>
        <translation>das PDF konnte nicht abgeschlossen werden</translation>
    </message>
    <message>
        <source>Units: %1 (%2 distinct)</source>
        <translation>Geräte: %1 (%2 verschiedene)</translation>
    </message>
    <message>
        <source>Passed: %1   Failed: %2   Abandoned: %3   Still open: %4</source>
        <translation>Bestanden: %1   Fehlgeschlagen: %2   Abgebrochen: %3   Noch offen: %4</translation>
    </message>
    <message>
        <source>the report could not be written in full (is the disk full?)</source>
        <translation>der Bericht konnte nicht vollständig geschrieben werden (ist der Datenträger voll?)</translation>
    </message>
</context>
<context>
    <name>LotReportCommand</name>
    <message>
        <source>Write the one-page report of the lot --lot names to &lt;file&gt; (.pdf) and exit.</source>
        <translation>Den einseitigen Bericht des mit --lot genannten Loses in &lt;file&gt; (.pdf) schreiben und beenden.</translation>
    </message>
    <message>
        <source>--%1 does not go with --report</source>
        <translation>--%1 passt nicht zu --report</translation>
    </message>
    <message>
        <source>%1: the file name must end in .pdf</source>
        <translation>%1: Der Dateiname muss auf .pdf enden</translation>
    </message>
    <message>
        <source>--report needs the lot: --lot NAME</source>
        <translation>--report braucht das Los: --lot NAME</translation>
    </message>
    <message>
        <source>cannot read the journal %1: %2</source>
        <translation>Das Journal %1 kann nicht gelesen werden: %2</translation>
    </message>
    <message>
        <source>no data directory</source>
        <translation>kein Datenverzeichnis</translation>
    </message>
    <message>
        <source>no units in lot %1; %2 not written</source>
        <translation>keine Geräte in Los %1; %2 nicht geschrieben</translation>
    </message>
    <message>
        <source>cannot write %1: %2</source>
        <translation>%1 kann nicht geschrieben werden: %2</translation>
    </message>
    <message numerus="yes">
        <source>wrote the report of lot %1 (%n unit(s)) to %2</source>
        <translation>
            <numerusform>Bericht von Los %1 (%n Gerät) nach %2 geschrieben</numerusform>
            <numerusform>Bericht von Los %1 (%n Geräte) nach %2 geschrieben</numerusform>
        </translation>
    </message>
    <message numerus="yes">
        <source>skipped %n incomplete journal line(s)</source>
        <translation>
            <numerusform>%n unvollständige Journalzeile übersprungen</numerusform>
            <numerusform>%n unvollständige Journalzeilen übersprungen</numerusform>
        </translation>
    </message>
</context>
<context>
    <name>LotView</name>
    <message>
        <source>Units:</source>
        <translation>Geräte:</translation>
    </message>
    <message>
        <source>Passed:</source>
        <translation>Bestanden:</translation>
    </message>
    <message>
        <source>Failed:</source>
        <translation>Fehlgeschlagen:</translation>
    </message>
    <message>
        <source>Abandoned:</source>
        <translation>Abgebrochen:</translation>
    </message>
    <message>
        <source>Distinct units:</source>
        <translation>Verschiedene Geräte:</translation>
    </message>
    <message>
        <source>First-pass yield:</source>
        <translation>Erstausbeute:</translation>
    </message>
    <message>
        <source>Still open:</source>
        <translation>Noch offen:</translation>
    </message>
    <message>
        <source>Median time:</source>
        <translation>Median-Zeit:</translation>
    </message>
    <message>
        <source>95th percentile:</source>
        <translation>95. Perzentil:</translation>
    </message>
    <message>
        <source>Failed units</source>
        <translation>Fehlgeschlagene Geräte</translation>
    </message>
    <message>
        <source>Unit</source>
        <translation>Gerät</translation>
    </message>
    <message>
        <source>Attempt</source>
        <translation>Versuch</translation>
    </message>
    <message>
        <source>Started</source>
        <translation>Begonnen</translation>
    </message>
    <message>
        <source>Time</source>
        <translation>Dauer</translation>
    </message>
    <message>
        <source>Outcome</source>
        <translation>Ergebnis</translation>
    </message>
    <message>
        <source>Reason</source>
        <translation>Ursache</translation>
    </message>
    <message>
        <source>%1 % (%2 of %3)</source>
        <translation>%1 % (%2 von %3)</translation>
    </message>
    <message>
        <source>none</source>
        <translation>keine</translation>
    </message>
    <message numerus="yes">
        <source>%1: %n unit(s)</source>
        <translation>
            <numerusform>%1: %n Gerät</numerusform>
            <numerusform>%1: %n Geräte</numerusform>
        </translation>
    </message>
    <message numerus="yes">
        <source>Failed units: %n (click a bar to see one reason&apos;s units)</source>
        <translation>
            <numerusform>Fehlgeschlagene Geräte: %n (Balken anklicken zeigt die Geräte einer Ursache)</numerusform>
            <numerusform>Fehlgeschlagene Geräte: %n (Balken anklicken zeigt die Geräte einer Ursache)</numerusform>
        </translation>
    </message>
    <message>
        <source>unknown node</source>
        <translation>unbekannter Knoten</translation>
    </message>
    <message>
        <source>Other reasons</source>
        <translation>Andere Ursachen</translation>
    </message>
    <message>
        <source>Bench</source>
        <translation>Prüfplatz</translation>
    </message>
</context>
<context>
    <name>MainWindow</name>
    <message>
        <source>MainWindow</source>
        <translation>MainWindow</translation>
    </message>
    <message>
        <source>&amp;Settings</source>
        <translation>&amp;Einstellungen</translation>
    </message>
    <message>
        <source>Configure</source>
        <translation>Konfigurieren</translation>
    </message>
    <message>
        <source>&amp;Help</source>
        <translation>&amp;Hilfe</translation>
    </message>
    <message>
        <source>About</source>
        <translation>Über</translation>
    </message>
    <message>
        <source>ORVA server</source>
        <translation>ORVA-Server</translation>
    </message>
    <message>
        <source>Configure Node</source>
        <translation>Knoten konfigurieren</translation>
    </message>
    <message>
        <source>Trusted CA certificate…</source>
        <translation>Vertrauenswürdiges CA-Zertifikat…</translation>
    </message>
    <message>
        <source>Log in again</source>
        <translation>Erneut anmelden</translation>
    </message>
    <message>
        <source>Profile…</source>
        <translation>Profil…</translation>
    </message>
    <message>
        <source>No profile</source>
        <translation>Kein Profil</translation>
    </message>
    <message>
        <source>Lot…</source>
        <translation>Los…</translation>
    </message>
    <message>
        <source>Stations…</source>
        <translation>Stationen…</translation>
    </message>
    <message>
        <source>History…</source>
        <translation>Verlauf…</translation>
    </message>
    <message>
        <source>Quit</source>
        <translation>Beenden</translation>
    </message>
    <message>
        <source>Ctrl+Q</source>
        <translation>Ctrl+Q</translation>
    </message>
    <message>
        <source>About Tessaline IoT Commission Tool</source>
        <translation>Über Tessaline IoT Commission Tool</translation>
    </message>
    <message>
        <source>The registration outbox cannot be used (%1): %2</source>
        <translation>Der Registrierungs-Ausgang kann nicht benutzt werden (%1): %2</translation>
    </message>
    <message>
        <source>The settings file %1 cannot be read; the tool starts as on a first start.</source>
        <translation>Die Einstellungsdatei %1 kann nicht gelesen werden; das Werkzeug startet wie beim ersten Start.</translation>
    </message>
    <message>
        <source>No ORVA server is configured: Settings → ORVA server</source>
        <translation>Kein ORVA-Server: Einstellungen → ORVA-Server</translation>
    </message>
    <message>
        <source> [development key]</source>
        <translation> [Entwicklungsschlüssel]</translation>
    </message>
    <message>
        <source>Version: </source>
        <translation>Version: </translation>
    </message>
    <message>
        <source>
Build date: </source>
        <translation>
Erstellt am: </translation>
    </message>
    <message>
        <source>Node key fingerprint: </source>
        <translation>Fingerabdruck des Knotenschlüssels: </translation>
    </message>
    <message>
        <source> (the published development key)</source>
        <translation> (der veröffentlichte Entwicklungsschlüssel)</translation>
    </message>
    <message>
        <source>Set ORVA server</source>
        <translation>ORVA-Server einstellen</translation>
    </message>
    <message>
        <source>Server:</source>
        <translation>Server:</translation>
    </message>
    <message>
        <source>Commissioning records</source>
        <translation>Inbetriebnahme-Aufzeichnungen</translation>
    </message>
    <message>
        <source>Commissioning goes on, but what is not recorded cannot be looked up later.</source>
        <translation>Die Inbetriebnahme geht weiter, aber was nicht aufgezeichnet ist, lässt sich später nicht nachschlagen.</translation>
    </message>
    <message>
        <source>The settings file %1 cannot be written: the choice holds until the tool is closed.</source>
        <translation>Die Einstellungsdatei %1 kann nicht geschrieben werden: die Auswahl gilt, bis das Werkzeug geschlossen wird.</translation>
    </message>
    <message>
        <source>Trusted CA certificate</source>
        <translation>Vertrauenswürdiges CA-Zertifikat</translation>
    </message>
    <message>
        <source>PEM certificates (*.pem *.crt);;All files (*)</source>
        <translation>PEM-Zertifikate (*.pem *.crt);;Alle Dateien (*)</translation>
    </message>
    <message>
        <source>Profile</source>
        <translation>Profil</translation>
    </message>
    <message>
        <source>Profiles (*.json);;All files (*)</source>
        <translation>Profile (*.json);;Alle Dateien (*)</translation>
    </message>
    <message>
        <source>Profile: </source>
        <translation>Profil: </translation>
    </message>
    <message>
        <source>Lot</source>
        <translation>Los</translation>
    </message>
    <message>
        <source>Lot:</source>
        <translation>Los:</translation>
    </message>
    <message>
        <source>Lot: </source>
        <translation>Los: </translation>
    </message>
    <message>
        <source>1 registration waiting for the server</source>
        <translation>1 Registrierung wartet auf den Server</translation>
    </message>
    <message>
        <source>%1 registrations waiting for the server</source>
        <translation>%1 Registrierungen warten auf den Server</translation>
    </message>
    <message>
        <source>%1  %2  attempts: %3  last status: %4</source>
        <translation>%1  %2  Versuche: %3  letzter Status: %4</translation>
    </message>
    <message>
        <source>no answer</source>
        <translation>keine Antwort</translation>
    </message>
    <message>
        <source>Stations</source>
        <translation>Stationen</translation>
    </message>
    <message>
        <source>Ports watched at once (one tab each):</source>
        <translation>Gleichzeitig überwachte Anschlüsse (je ein Reiter):</translation>
    </message>
    <message>
        <source>Station %1</source>
        <translation>Station %1</translation>
    </message>
    <message>
        <source>held by station %1</source>
        <translation>belegt von Station %1</translation>
    </message>
    <message>
        <source>A node is on show and has not been put to sleep.</source>
        <translation>Ein Knoten wird angezeigt und wurde nicht schlafen gelegt.</translation>
    </message>
    <message>
        <source>%1 nodes are on show and have not been put to sleep.</source>
        <translation>%1 Knoten werden angezeigt und wurden nicht schlafen gelegt.</translation>
    </message>
    <message>
        <source>1 registration waits for the server; it is sent when the tool runs again.</source>
        <translation>1 Registrierung wartet auf den Server; sie wird beim nächsten Start gesendet.</translation>
    </message>
    <message>
        <source>%1 registrations wait for the server; they are sent when the tool runs again.</source>
        <translation>%1 Registrierungen warten auf den Server; sie werden beim nächsten Start gesendet.</translation>
    </message>
    <message>
        <source>Quit the commission tool?</source>
        <translation>Das Inbetriebnahme-Werkzeug beenden?</translation>
    </message>
    <message>
        <source>The registration outbox could not be read: it was kept as %1 and a fresh outbox was started (see the README on recovering its registrations).</source>
        <translation>Der Registrierungs-Ausgang konnte nicht gelesen werden: Er wurde als %1 aufbewahrt, und ein neuer Ausgang wurde angelegt (siehe README zur Wiederherstellung seiner Registrierungen).</translation>
    </message>
    <message>
        <source>The registration outbox is readable by others: %1</source>
        <translation>Der Registrierungs-Ausgang ist für andere lesbar: %1</translation>
    </message>
    <message>
        <source>The commissioning journal is readable by others: %1</source>
        <translation>Das Inbetriebnahme-Journal ist für andere lesbar: %1</translation>
    </message>
    <message>
        <source>1 registration waiting — log in to send it</source>
        <translation>1 Registrierung wartet — zum Senden anmelden</translation>
    </message>
    <message>
        <source>%1 registrations waiting — log in to send them</source>
        <translation>%1 Registrierungen warten — zum Senden anmelden</translation>
    </message>
    <message>
        <source>unencrypted</source>
        <translation>unverschlüsselt</translation>
    </message>
    <message>
        <source>The ORVA server is reached over plain http: the password digest and the nodes&apos; application keys travel unencrypted. Use an https:// address.</source>
        <translation>Der ORVA-Server wird über einfaches http erreicht: der Passwort-Hash und die Anwendungsschlüssel der Knoten gehen unverschlüsselt über das Netz. Verwenden Sie eine https://-Adresse.</translation>
    </message>
    <message>
        <source>%1 cannot be used as trusted CA certificates: %2</source>
        <translation>%1 kann nicht als vertrauenswürdige CA-Zertifikate verwendet werden: %2</translation>
    </message>
    <message>
        <source>Only the system&apos;s certificate authorities are trusted.</source>
        <translation>Nur den Zertifizierungsstellen des Systems wird vertraut.</translation>
    </message>
    <message>
        <source>The server address was not changed.</source>
        <translation>Die Serveradresse wurde nicht geändert.</translation>
    </message>
    <message>
        <source>Shared database…</source>
        <translation>Gemeinsame Datenbank…</translation>
    </message>
    <message>
        <source>Shared database</source>
        <translation>Gemeinsame Datenbank</translation>
    </message>
    <message>
        <source>PostgreSQL address, postgresql://user@host:port/dbname (empty for none):</source>
        <translation>PostgreSQL-Adresse, postgresql://benutzer@host:port/datenbank (leer für keine):</translation>
    </message>
    <message>
        <source>The shared database was not changed.</source>
        <translation>Die gemeinsame Datenbank wurde nicht geändert.</translation>
    </message>
    <message>
        <source>The shared database address %1 cannot be used: %2</source>
        <translation>Die Adresse der gemeinsamen Datenbank %1 kann nicht verwendet werden: %2</translation>
    </message>
    <message>
        <source>Password of %1 for %2:</source>
        <translation>Passwort von %1 für %2:</translation>
    </message>
    <message numerus="yes">
        <source>Shared database unreachable — %n entries waiting</source>
        <translation>
            <numerusform>Gemeinsame Datenbank nicht erreichbar — %n Eintrag wartet</numerusform>
            <numerusform>Gemeinsame Datenbank nicht erreichbar — %n Einträge warten</numerusform>
        </translation>
    </message>
    <message>
        <source>Shared database unreachable</source>
        <translation>Datenbank nicht erreichbar</translation>
    </message>
    <message>
        <source>Not checked for a registration at another bench: %1</source>
        <translation>Nicht auf eine Registrierung an einem anderen Prüfplatz geprüft: %1</translation>
    </message>
    <message>
        <source>Asking the shared database whether another bench registered the node…</source>
        <translation>Frage die gemeinsame Datenbank, ob ein anderer Prüfplatz den Knoten registriert hat…</translation>
    </message>
    <message>
        <source>Label…</source>
        <translation>Etikett…</translation>
    </message>
    <message>
        <source>Print Label</source>
        <translation>Etikett drucken</translation>
    </message>
    <message>
        <source>Ctrl+P</source>
        <translation>Ctrl+P</translation>
    </message>
    <message>
        <source>No node is on show to print a label for</source>
        <translation>Kein Knoten angezeigt, für den ein Etikett gedruckt werden kann</translation>
    </message>
    <message>
        <source>Label of %1 printed</source>
        <translation>Etikett von %1 gedruckt</translation>
    </message>
    <message>
        <source>Shift: %1 passed, %2 failed</source>
        <translation>Schicht: %1 OK, %2 Fehler</translation>
    </message>
    <message>
        <source>Sound on PASS and FAIL</source>
        <translation>Ton bei OK und FEHLER</translation>
    </message>
    <message>
        <source>The address cannot be used: %1</source>
        <translation>Die Adresse ist nicht verwendbar: %1</translation>
    </message>
    <message>
        <source>Label not printed</source>
        <translation>Etikett nicht gedruckt</translation>
    </message>
    <message>
        <source>Label not printed for %1: %2</source>
        <translation>Etikett für %1 nicht gedruckt: %2</translation>
    </message>
</context>
<context>
    <name>NodeForm</name>
    <message>
        <source>Application ID too short</source>
        <translation>Application ID zu kurz</translation>
    </message>
    <message>
        <source>Application ID must be 16 characters</source>
        <translation>Die Application ID muss 16 Zeichen lang sein</translation>
    </message>
    <message>
        <source>Application Key too short</source>
        <translation>Application Key zu kurz</translation>
    </message>
    <message>
        <source>Application Key must be 32 characters</source>
        <translation>Der Application Key muss 32 Zeichen lang sein</translation>
    </message>
    <message>
        <source>Network ID too short</source>
        <translation>Netzwerk-ID zu kurz</translation>
    </message>
    <message>
        <source>Network ID must be 8 characters</source>
        <translation>Die Netzwerk-ID muss 8 Zeichen lang sein</translation>
    </message>
</context>
<context>
    <name>NodeLabel</name>
    <message>
        <source>The label cannot be written to %1: %2</source>
        <translation>Das Etikett kann nicht nach %1 geschrieben werden: %2</translation>
    </message>
    <message>
        <source>A label needs the node&apos;s SigFox ID and PAC</source>
        <translation>Ein Etikett braucht die SigFox-ID und den PAC des Knotens</translation>
    </message>
    <message>
        <source>A label needs the node&apos;s JoinEUI and DevEUI, 16 hex digits each</source>
        <translation>Ein Etikett braucht JoinEUI und DevEUI des Knotens, je 16 Hex-Ziffern</translation>
    </message>
    <message>
        <source>The QR code could not be made: %1</source>
        <translation>Der QR-Code konnte nicht erzeugt werden: %1</translation>
    </message>
    <message>
        <source>The label cannot be written to %1: not a regular file</source>
        <translation>Das Etikett kann nicht nach %1 geschrieben werden: keine reguläre Datei</translation>
    </message>
</context>
<context>
    <name>PasswordDialog</name>
    <message>
        <source>User Login</source>
        <translation>Benutzeranmeldung</translation>
    </message>
    <message>
        <source>TextLabel</source>
        <translation>TextLabel</translation>
    </message>
    <message>
        <source>User name:</source>
        <translation>Benutzername:</translation>
    </message>
    <message>
        <source>Password:</source>
        <translation>Passwort:</translation>
    </message>
</context>
<context>
    <name>PortList</name>
    <message>
        <source>S/N </source>
        <translation>S/N </translation>
    </message>
    <message>
        <source>bench slot, %1</source>
        <translation>Arbeitsplatz-Steckplatz, %1</translation>
    </message>
</context>
<context>
    <name>ServerSession</name>
    <message>
        <source>another instance of the tool is sending it</source>
        <translation>eine andere Instanz des Programms sendet sie</translation>
    </message>
    <message>
        <source>%1: on the wire, no answer yet (kept in the outbox, sent again by the next run)</source>
        <translation>%1: unterwegs, noch keine Antwort (im Ausgang behalten, der nächste Lauf sendet sie erneut)</translation>
    </message>
    <message>
        <source>%1: accepted by the server, but still in the outbox (sent once more by the next run)</source>
        <translation>%1: vom Server angenommen, aber noch im Ausgang (der nächste Lauf sendet sie noch einmal)</translation>
    </message>
    <message>
        <source>%1: answer %2 not recorded in the outbox</source>
        <translation>%1: Antwort %2 nicht im Ausgang vermerkt</translation>
    </message>
    <message>
        <source>%1: not sent, the outbox could not be updated</source>
        <translation>%1: nicht gesendet, der Ausgang konnte nicht geändert werden</translation>
    </message>
    <message>
        <source>The registration outbox cannot be updated: %1; registrations are held back and tried again no faster than their back-off.</source>
        <translation>Der Registrierungs-Ausgang kann nicht geändert werden: %1; Registrierungen werden zurückgehalten und nicht schneller als ihre Wartezeit erneut versucht.</translation>
    </message>
    <message>
        <source>%1: only http:// and https:// servers can be used</source>
        <translation>%1: nur http://- und https://-Server sind möglich</translation>
    </message>
    <message>
        <source>%1: not a server address</source>
        <translation>%1: keine Serveradresse</translation>
    </message>
    <message>
        <source>%1: the address must not hold a user name or password</source>
        <translation>%1: die Adresse darf keinen Benutzernamen und kein Passwort enthalten</translation>
    </message>
</context>
<context>
    <name>StationView</name>
    <message>
        <source>Serial Connection</source>
        <translation>Serielle Verbindung</translation>
    </message>
    <message>
        <source>Disconnect</source>
        <translation>Trennen</translation>
    </message>
    <message>
        <source>Reset Node while connected</source>
        <translation>Verbundenen Knoten zurücksetzen</translation>
    </message>
    <message>
        <source>Register</source>
        <translation>Registrieren</translation>
    </message>
    <message>
        <source>Activate</source>
        <translation>Aktivieren</translation>
    </message>
    <message>
        <source>Apply FAILED
Reset Node</source>
        <translation>Übernehmen FEHLGESCHLAGEN
Knoten zurücksetzen</translation>
    </message>
    <message>
        <source>Update Success
Please Wait...</source>
        <translation>Aktualisierung erfolgreich
Bitte warten...</translation>
    </message>
    <message>
        <source>Apply Timed out
Reset Node</source>
        <translation>Zeitüberschreitung beim Übernehmen
Knoten zurücksetzen</translation>
    </message>
    <message>
        <source>Node Sleeping
Connect another and reset.</source>
        <translation>Knoten schläft
Neuen anschließen, zurücksetzen.</translation>
    </message>
    <message>
        <source>Connect Timed out
Reset Node</source>
        <translation>Zeitüberschreitung beim Verbinden
Knoten zurücksetzen</translation>
    </message>
    <message>
        <source>Node not configured
Try another Node</source>
        <translation>Knoten nicht konfiguriert
Anderen Knoten versuchen</translation>
    </message>
    <message>
        <source>Firmware too old
Set node aside</source>
        <translation>Firmware zu alt
Knoten beiseitelegen</translation>
    </message>
    <message>
        <source>Node key does not match
Check the tool&apos;s node key</source>
        <translation>Knotenschlüssel passt nicht
Schlüssel des Werkzeugs prüfen</translation>
    </message>
    <message>
        <source>Not logged in
Log in again</source>
        <translation>Nicht angemeldet
Erneut anmelden</translation>
    </message>
    <message>
        <source>Could not open serial port </source>
        <translation>Serielle Schnittstelle konnte nicht geöffnet werden: </translation>
    </message>
    <message>
        <source>Set SigFox Data</source>
        <translation>SigFox-Daten setzen</translation>
    </message>
    <message>
        <source>SigFox Data:</source>
        <translation>SigFox-Daten:</translation>
    </message>
    <message>
        <source>Sigfox Data must be 48 HEX bytes long</source>
        <translation>SigFox-Daten müssen 48 Hex-Bytes lang sein</translation>
    </message>
    <message>
        <source>Set Device ID</source>
        <translation>Geräte-ID setzen</translation>
    </message>
    <message>
        <source>Device ID:</source>
        <translation>Geräte-ID:</translation>
    </message>
    <message>
        <source>Device ID must be 8 HEX bytes long</source>
        <translation>Die Geräte-ID muss 8 Hex-Bytes lang sein</translation>
    </message>
    <message>
        <source>Label</source>
        <translation>Etikett</translation>
    </message>
    <message>
        <source>scan the node&apos;s label</source>
        <translation>Etikett des Knotens scannen</translation>
    </message>
    <message>
        <source>Unknown Device</source>
        <translation>Unbekanntes Gerät</translation>
    </message>
    <message>
        <source>Please retry</source>
        <translation>Bitte erneut versuchen</translation>
    </message>
    <message>
        <source>Apply the changes first?</source>
        <translation>Änderungen zuerst übernehmen?</translation>
    </message>
    <message>
        <source>Some fields were changed but not written to the node. Apply writes them and reads the node again; Discard goes on with the node as it was read.</source>
        <translation>Einige Felder wurden geändert, aber nicht in den Knoten geschrieben. Übernehmen schreibt sie und liest den Knoten neu; Verwerfen macht mit dem Knoten so weiter, wie er gelesen wurde.</translation>
    </message>
    <message>
        <source>This node has not been registered. Put it to sleep anyway?</source>
        <translation>Dieser Knoten wurde nicht registriert. Trotzdem schlafen legen?</translation>
    </message>
    <message>
        <source>A sleeping node cannot be reached until it is reset.</source>
        <translation>Ein schlafender Knoten ist erst nach einem Zurücksetzen wieder erreichbar.</translation>
    </message>
    <message>
        <source>Put to sleep</source>
        <translation>Schlafen legen</translation>
    </message>
    <message>
        <source>Logging in...</source>
        <translation>Anmeldung läuft...</translation>
    </message>
    <message>
        <source>Registering...</source>
        <translation>Registrierung läuft...</translation>
    </message>
    <message>
        <source>Port unavailable
</source>
        <translation>Schnittstelle nicht verfügbar
</translation>
    </message>
    <message>
        <source>Node: </source>
        <translation>Knoten: </translation>
    </message>
    <message>
        <source>  |   Ormix: </source>
        <translation>  |   Ormix: </translation>
    </message>
    <message>
        <source>  |   Semtech: </source>
        <translation>  |   Semtech: </translation>
    </message>
    <message>
        <source>Waiting for the node&apos;s port
to come back
</source>
        <translation>Warte, bis der Port
des Knotens zurückkommt
</translation>
    </message>
    <message>
        <source>Some fields were changed but not written to the node. Apply writes them to the node and keeps this port; Discard drops them and changes to %1.</source>
        <translation>Einige Felder wurden geändert, aber nicht auf den Knoten geschrieben. Übernehmen schreibt sie auf den Knoten und behält diesen Port; Verwerfen verwirft sie und wechselt zu %1.</translation>
    </message>
    <message>
        <source>  |   </source>
        <translation>  |   </translation>
    </message>
    <message>
        <source>The device is no longer connected</source>
        <translation>Das Gerät ist nicht mehr angeschlossen</translation>
    </message>
    <message>
        <source>PASS</source>
        <translation>OK</translation>
    </message>
    <message>
        <source>FAIL</source>
        <translation>FEHLER</translation>
    </message>
    <message>
        <source>Read</source>
        <translation>Gelesen</translation>
    </message>
    <message>
        <source>Nothing to write</source>
        <translation>Nichts zu schreiben</translation>
    </message>
    <message>
        <source>Written</source>
        <translation>Geschrieben</translation>
    </message>
    <message>
        <source>Verified</source>
        <translation>Geprüft</translation>
    </message>
    <message>
        <source>Label scanned</source>
        <translation>Etikett gescannt</translation>
    </message>
    <message>
        <source>Registered</source>
        <translation>Registriert</translation>
    </message>
    <message>
        <source>Asleep</source>
        <translation>Schläft</translation>
    </message>
    <message>
        <source>Already registered at bench %1 on %2 — register again?</source>
        <translation>Bereits an Prüfplatz %1 am %2 registriert — erneut registrieren?</translation>
    </message>
    <message>
        <source>Already registered at bench %1 on %2</source>
        <translation>Bereits an Prüfplatz %1 am %2 registriert</translation>
    </message>
</context>
<context>
    <name>UnitRecordDialog</name>
    <message>
        <source>Unit record</source>
        <translation>Geräteprotokoll</translation>
    </message>
    <message>
        <source>Step</source>
        <translation>Schritt</translation>
    </message>
    <message>
        <source>Outcome</source>
        <translation>Ergebnis</translation>
    </message>
    <message>
        <source>Duration</source>
        <translation>Dauer</translation>
    </message>
    <message>
        <source>Reason</source>
        <translation>Ursache</translation>
    </message>
    <message>
        <source>Measured values</source>
        <translation>Messwerte</translation>
    </message>
    <message>
        <source>unknown node</source>
        <translation>unbekannter Knoten</translation>
    </message>
    <message>
        <source>Unit %1, attempt %2</source>
        <translation>Gerät %1, Versuch %2</translation>
    </message>
    <message>
        <source>&lt;b&gt;%1&lt;/b&gt; %2, lot %3, attempt %4</source>
        <translation>&lt;b&gt;%1&lt;/b&gt; %2, Los %3, Versuch %4</translation>
    </message>
    <message>
        <source>Outcome: &lt;b&gt;%1&lt;/b&gt;</source>
        <translation>Ergebnis: &lt;b&gt;%1&lt;/b&gt;</translation>
    </message>
    <message>
        <source>From %1 to %2 (%3)</source>
        <translation>Von %1 bis %2 (%3)</translation>
    </message>
    <message>
        <source>%1 to %2</source>
        <translation>%1 bis %2</translation>
    </message>
    <message>
        <source>expected %1</source>
        <translation>erwartet %1</translation>
    </message>
    <message>
        <source>Bench %1</source>
        <translation>Prüfplatz %1</translation>
    </message>
    <message>
        <source>port %1</source>
        <translation>Anschluss %1</translation>
    </message>
    <message>
        <source>no operator logged in</source>
        <translation>kein Bediener angemeldet</translation>
    </message>
    <message>
        <source>operator %1</source>
        <translation>Bediener %1</translation>
    </message>
    <message>
        <source>No profile</source>
        <translation>Kein Profil</translation>
    </message>
    <message>
        <source>Profile %1</source>
        <translation>Profil %1</translation>
    </message>
    <message>
        <source>SHA-256 %1…</source>
        <translation>SHA-256 %1…</translation>
    </message>
    <message>
        <source>tool %1</source>
        <translation>Werkzeug %1</translation>
    </message>
    <message>
        <source>key %1</source>
        <translation>Schlüssel %1</translation>
    </message>
</context>
<context>
    <name>UnitRecordText</name>
    <message>
        <source>Read</source>
        <translation>Lesen</translation>
    </message>
    <message>
        <source>Firmware check</source>
        <translation>Firmware-Prüfung</translation>
    </message>
    <message>
        <source>Profile comparison</source>
        <translation>Profilvergleich</translation>
    </message>
    <message>
        <source>Write</source>
        <translation>Schreiben</translation>
    </message>
    <message>
        <source>Verification</source>
        <translation>Überprüfung</translation>
    </message>
    <message>
        <source>Label check</source>
        <translation>Etikettprüfung</translation>
    </message>
    <message>
        <source>Registration</source>
        <translation>Registrierung</translation>
    </message>
    <message>
        <source>Sleep</source>
        <translation>Schlafen</translation>
    </message>
    <message>
        <source>passed</source>
        <translation>bestanden</translation>
    </message>
    <message>
        <source>failed</source>
        <translation>fehlgeschlagen</translation>
    </message>
    <message>
        <source>skipped</source>
        <translation>übersprungen</translation>
    </message>
    <message>
        <source>not reached</source>
        <translation>nicht erreicht</translation>
    </message>
    <message>
        <source>abandoned</source>
        <translation>abgebrochen</translation>
    </message>
    <message>
        <source>open</source>
        <translation>offen</translation>
    </message>
    <message>
        <source>Unknown step</source>
        <translation>Unbekannter Schritt</translation>
    </message>
    <message>
        <source>%1: %2</source>
        <translation>%1: %2</translation>
    </message>
    <message>
        <source>%1 s</source>
        <translation>%1 s</translation>
    </message>
    <message>
        <source>%1 min %2 s</source>
        <translation>%1 min %2 s</translation>
    </message>
    <message>
        <source>unplugged before the end</source>
        <translation>vor dem Ende abgesteckt</translation>
    </message>
    <message>
        <source>reset to be read again</source>
        <translation>zum erneuten Lesen zurückgesetzt</translation>
    </message>
    <message>
        <source>port let go</source>
        <translation>Anschluss freigegeben</translation>
    </message>
    <message>
        <source>the next node was read on its port</source>
        <translation>nächster Knoten am Anschluss gelesen</translation>
    </message>
    <message>
        <source>left before the end</source>
        <translation>vor dem Ende gegangen</translation>
    </message>
    <message>
        <source>firmware too old</source>
        <translation>Firmware zu alt</translation>
    </message>
    <message>
        <source>node key does not match</source>
        <translation>Knotenschlüssel passt nicht</translation>
    </message>
    <message>
        <source>node not configured</source>
        <translation>Knoten nicht konfiguriert</translation>
    </message>
    <message>
        <source>node stopped answering</source>
        <translation>Knoten antwortet nicht mehr</translation>
    </message>
    <message>
        <source>not read back after the write</source>
        <translation>nach dem Schreiben nicht zurückgelesen</translation>
    </message>
    <message>
        <source>not written</source>
        <translation>nicht geschrieben</translation>
    </message>
    <message>
        <source>refused by the server</source>
        <translation>vom Server abgelehnt</translation>
    </message>
    <message>
        <source>refused by the node</source>
        <translation>vom Knoten abgelehnt</translation>
    </message>
    <message>
        <source>label does not match</source>
        <translation>Etikett passt nicht</translation>
    </message>
    <message>
        <source>read back differs</source>
        <translation>Rücklesung weicht ab</translation>
    </message>
    <message>
        <source>no form for its type</source>
        <translation>kein Formular für seinen Typ</translation>
    </message>
    <message>
        <source>no identity</source>
        <translation>keine Kennung</translation>
    </message>
    <message>
        <source>value cannot be sent</source>
        <translation>Wert nicht sendbar</translation>
    </message>
    <message>
        <source>no port open</source>
        <translation>kein Anschluss offen</translation>
    </message>
    <message>
        <source>cut off before it ended</source>
        <translation>vor dem Ende abgebrochen</translation>
    </message>
    <message>
        <source>set aside by the command line</source>
        <translation>von der Kommandozeile zurückgestellt</translation>
    </message>
    <message>
        <source>already registered at another bench</source>
        <translation>bereits an einem anderen Prüfplatz registriert</translation>
    </message>
</context>
<context>
    <name>WriteVerification</name>
    <message>
        <source>Application ID</source>
        <translation>Anwendungs-ID</translation>
    </message>
    <message>
        <source>Application Key</source>
        <translation>Anwendungsschlüssel</translation>
    </message>
    <message>
        <source>Network ID</source>
        <translation>Netzwerk-ID</translation>
    </message>
    <message>
        <source>Temperature</source>
        <translation>Temperatur</translation>
    </message>
    <message>
        <source>Humidity</source>
        <translation>Feuchte</translation>
    </message>
    <message>
        <source>Pressure</source>
        <translation>Druck</translation>
    </message>
    <message>
        <source>Accelerometer</source>
        <translation>Beschleunigung</translation>
    </message>
    <message>
        <source>Report Rate</source>
        <translation>Meldeintervall</translation>
    </message>
    <message>
        <source>%1 written %2, read %3</source>
        <translation>%1 geschrieben %2, gelesen %3</translation>
    </message>
</context>
<context>
    <name>main</name>
    <message>
        <source>Tessaline IoT Commission Tool: reads, configures and registers lock sensor nodes on a serial port.</source>
        <translation>Tessaline IoT Commission Tool: liest, konfiguriert und registriert Schloss-Sensorknoten an einer seriellen Schnittstelle.</translation>
    </message>
    <message>
        <source>Commission with the profile in &lt;file&gt; instead of the one chosen in the window.</source>
        <translation>Mit dem Profil in &lt;file&gt; statt dem im Fenster gewählten in Betrieb nehmen.</translation>
    </message>
</context>
</TS>
