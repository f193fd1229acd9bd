// A till's receipt as a published ESC/POS library prints it: accents in
// CP850, the euro sign after a switch to code table CP858, a CODE128 barcode
// and a QR code, then the cut. Over the network it first asks for the
// printer status (the library's getStatus) and waits for the byte.
// Usage: node receipt.js <node_modules folder> <port>  (prints the status byte)
//        node receipt.js <node_modules folder> -       (writes the bytes to stdout)
'use strict';
const path = require('path');
const modules = process.argv[2];
const target = process.argv[3];
const { Printer } = require(path.join(modules, '@node-escpos/core'));

class OnlineStatus {
    static commands() { return ['\x10', '\x04', '\x01']; }
    constructor(byte) { this.byte = byte; }
}

function printReceipt(printer) {
    // ESC t 2: the printer's code table, and the library's encoder with it.
    printer.setCharacterCodeTable(2).encode('cp850');
    printer.text('CAFÉ MÜNCHEN');
    printer.text('Crème brûlée 4,50');
    printer.setCharacterCodeTable(19).encode('cp858');
    printer.text('TOTAL 5,00 €');
    // The library writes CODE128 data with its code set as given, and its
    // length byte only for 16 to 255 characters.
    printer.barcode('{BNo-123456789012', 'CODE128', { width: 2, height: 60 });
    printer.qrcode('https://q.example/r/4711', 3, 'M', 4);
    printer.cut();
}

if (target === '-') {
    const chunks = [];
    const capture = { write(data, done) { chunks.push(Buffer.from(data)); if (done) done(); } };
    const printer = new Printer(capture, { encoding: 'cp850' });
    printReceipt(printer);
    printer.flush().then(() => process.stdout.write(Buffer.concat(chunks)));
} else {
    const adapter = require(path.join(modules, '@node-escpos/network-adapter'));
    const Network = adapter.default ?? adapter;
    const device = new Network('127.0.0.1', Number(target), 10000);
    const timer = setTimeout(() => { console.error('no status answer'); process.exit(2); }, 10000);
    device.open(async (error) => {
        if (error) {
            console.error(String(error));
            process.exit(1);
        }
        const printer = new Printer(device, { encoding: 'cp850' });
        const status = printer.getStatus(OnlineStatus);
        await printer.flush();
        const answer = await status;
        clearTimeout(timer);
        printReceipt(printer);
        await printer.flush();
        console.log(answer.byte);
        printer.close();
    });
}
