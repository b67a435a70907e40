// The scanning page: pictures dropped, pasted or picked, or the camera's
// frames, decoded by Vantor in a Web Worker; results listed beside them.
import { createReader } from '../dist/vantor.mjs';

const $ = (id) => document.getElementById(id);
const status = (text) => { $('status').textContent = text; };

// What the page last decoded, for the curious (and the page's tests).
const demo = { reader: null, last: null, decodes: 0 };
window.vantorDemo = demo;

const options = () => ({ all: $('all').checked, thorough: $('thorough').checked, effort: $('effort').value });
// Video frames: the fast effort, since the next frame is another chance.
const frameOptions = () => ({ ...options(), effort: 'fast' });
// The kinds' names as people write them.
const KIND_NAMES = { QRCode: 'QR Code', QRCodeModel1: 'QR Code Model 1', MicroQRCode: 'Micro QR Code', rMQRCode: 'rMQR Code' };

function outline(canvas, width, height, result) {
    canvas.width = width;
    canvas.height = height;
    const g = canvas.getContext('2d');
    g.clearRect(0, 0, width, height);
    g.lineWidth = Math.max(3, width / 160);
    g.strokeStyle = '#18a058';
    g.fillStyle = 'rgba(24, 160, 88, 0.18)';
    for (const { corners: c } of result) {
        g.beginPath();
        g.moveTo(c[0], c[1]);
        for (let k = 2; k < 8; k += 2)
            g.lineTo(c[k], c[k + 1]);
        g.closePath();
        g.fill();
        g.stroke();
    }
}

function field(list, name, value) {
    const dt = document.createElement('dt');
    dt.textContent = name;
    const dd = document.createElement('dd');
    dd.textContent = value;
    list.append(dt, dd);
}

function symbolCard(symbol) {
    const card = document.createElement('article');
    card.className = 'card';
    const text = document.createElement('p');
    text.className = 'text';
    if (/^https?:\/\/\S+$/i.test(symbol.text)) {
        const link = document.createElement('a');
        link.href = symbol.text;
        link.rel = 'noopener noreferrer';
        link.target = '_blank';
        link.textContent = symbol.text;
        text.append(link);
    } else {
        text.textContent = symbol.text;
    }
    const copy = document.createElement('button');
    copy.type = 'button';
    copy.className = 'quiet copy';
    copy.textContent = 'Copy';
    copy.onclick = async () => {
        try {
            await navigator.clipboard.writeText(symbol.text);
            copy.textContent = 'Copied';
        } catch {
            getSelection().selectAllChildren(text);
            copy.textContent = 'Press Ctrl+C';
        }
        setTimeout(() => { copy.textContent = 'Copy'; }, 1500);
    };
    const facts = document.createElement('dl');
    field(facts, 'Kind', KIND_NAMES[symbol.format] ?? symbol.format);
    field(facts, 'Version', symbol.version_name);
    field(facts, 'Level', symbol.level);
    field(facts, 'Bytes', String(symbol.bytes.length));
    const seen = [symbol.mirrored && 'mirrored', symbol.inverted && 'light on dark'].filter(Boolean);
    if (seen.length)
        field(facts, 'Seen', seen.join(', '));
    if (symbol.eci !== undefined)
        field(facts, 'ECI', String(symbol.eci));
    if (symbol.structured_append)
        field(facts, 'Part', `${symbol.structured_append.index + 1} of ${symbol.structured_append.count}`);
    if (symbol.fnc1?.position === 1)
        field(facts, 'GS1', 'yes');
    card.append(text, copy, facts);
    return card;
}

// An explanation line in the page's words: the effort is its menu here.
const pageWording = (line) => line.trim().replace('(--effort exhaustive runs', '(the "exhaustive" effort runs');

function noneCard(result) {
    const card = document.createElement('article');
    card.className = 'card none';
    const title = document.createElement('h2');
    title.textContent = 'No QR Code found';
    const why = document.createElement('ol');
    for (const line of result.explain) {
        const item = document.createElement('li');
        item.textContent = pageWording(line);
        why.append(item);
    }
    const facts = document.createElement('dl');
    field(facts, 'Reason', result.reason);
    field(facts, 'Got as far as', result.stage);
    card.append(title, facts, why);
    return card;
}

function show(result, source) {
    demo.last = {
        source,
        reason: result.reason,
        stage: result.stage,
        explain: result.explain,
        symbols: result.map((s) => ({ ...s, bytes: Array.from(s.bytes) })),
        rows: result.rows,
    };
    demo.decodes += 1;
    const cards = result.length ? result.map(symbolCard) : [noneCard(result)];
    $('results').replaceChildren(...cards);
}

async function decodeFile(blob, source) {
    stopCamera();
    status(`Reading ${blob.name ?? 'the picture'}…`);
    try {
        const bitmap = await createImageBitmap(blob);
        const picture = $('picture');
        picture.width = bitmap.width;
        picture.height = bitmap.height;
        picture.getContext('2d').drawImage(bitmap, 0, 0);
        bitmap.close();
        $('view').hidden = false;
        $('video').hidden = true;
        picture.hidden = false;
        const started = performance.now();
        const result = await demo.reader.decodeBlob(blob, options());
        outline($('outline'), picture.width, picture.height, result);
        show(result, source);
        status(`${result.length ? result.length + ' found' : 'Nothing found'} in ${Math.round(performance.now() - started)} ms.`);
    } catch (error) {
        // Nothing of the picture before stays on screen beside the error.
        $('view').hidden = true;
        $('picture').width = 0;
        outline($('outline'), 0, 0, []);
        $('results').replaceChildren();
        demo.last = null;
        status(`This picture cannot be read: ${error.message}`);
    }
}

// ---- The camera: one frame decoding at a time, outlines over the video.
let camera = null;

function stopCamera() {
    if (!camera)
        return;
    camera.stream.getTracks().forEach((t) => t.stop());
    camera = null;
    $('camera').textContent = 'Scan with the camera';
}

async function startCamera() {
    let stream;
    try {
        stream = await navigator.mediaDevices.getUserMedia({ video: { facingMode: 'environment', width: { ideal: 1280 } } });
    } catch (error) {
        status(`No camera: ${error.message}`);
        return;
    }
    camera = { stream };
    const video = $('video');
    video.srcObject = stream;
    await video.play();
    $('view').hidden = false;
    video.hidden = false;
    $('picture').hidden = true;
    $('camera').textContent = 'Stop the camera';
    status('Scanning… hold a QR Code in front of the camera.');
    const frame = new OffscreenCanvas(1, 1);
    const g = frame.getContext('2d', { willReadFrequently: true });
    let lastText = null;
    const mine = camera;
    while (camera === mine) {
        const width = video.videoWidth;
        const height = video.videoHeight;
        if (width > 0 && height > 0) {
            frame.width = width;
            frame.height = height;
            g.drawImage(video, 0, 0);
            const result = await demo.reader.decodeImageData(g.getImageData(0, 0, width, height), frameOptions());
            if (camera !== mine)
                break;
            outline($('outline'), width, height, result);
            if (result.length) {
                const texts = result.map((s) => s.text).join('\n');
                show(result, 'camera');
                if (texts !== lastText)
                    status('Found. Scanning on…');
                lastText = texts;
            }
        }
        await new Promise((resolve) => requestAnimationFrame(resolve));
    }
}

function firstImage(items) {
    for (const item of items ?? [])
        if (item.kind === 'file' && item.type.startsWith('image/'))
            return item.getAsFile();
    return null;
}

async function main() {
    const drop = $('drop');
    drop.addEventListener('dragover', (e) => { e.preventDefault(); drop.classList.add('over'); });
    drop.addEventListener('dragleave', () => drop.classList.remove('over'));
    drop.addEventListener('drop', (e) => {
        e.preventDefault();
        drop.classList.remove('over');
        const file = e.dataTransfer.files[0];
        if (file)
            decodeFile(file, 'drop');
    });
    document.addEventListener('paste', (e) => {
        const file = firstImage(e.clipboardData?.items);
        if (file)
            decodeFile(file, 'paste');
    });
    $('file').addEventListener('change', (e) => {
        const file = e.target.files[0];
        if (file)
            decodeFile(file, 'pick');
        e.target.value = '';
    });
    $('camera').addEventListener('click', () => (camera ? stopCamera() : startCamera()));
    try {
        demo.reader = await createReader();
        status('Ready.');
        document.body.dataset.ready = 'true';
    } catch (error) {
        status(`The decoder could not start: ${error.message}`);
    }
    if ('serviceWorker' in navigator) {
        navigator.serviceWorker.register('../sw.js').then(
            () => navigator.serviceWorker.ready.then(() => { $('offline').textContent = '· works offline'; }),
            () => {},
        );
    }
}

main();
