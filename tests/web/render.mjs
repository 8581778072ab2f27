// Loads a .glb with three.js's GLTFLoader in headless Chromium and prints
// what it found as JSON (meshes with triangle counts and material colours);
// with a second argument it also renders the scene and writes a screenshot.
// Pages are served from memory to a made-up origin: nothing leaves the machine.
import fs from 'node:fs';
import path from 'node:path';
import { fileURLToPath } from 'node:url';
import { chromium } from 'playwright-core';

const [glbPath, shotPath] = process.argv.slice(2);
const here = path.dirname(fileURLToPath(import.meta.url));
const three = path.join(here, 'node_modules', 'three');
const origin = 'http://vertexa.invalid';

const page_html = `<!doctype html><html><body style="margin:0">
<script type="importmap">{"imports":{"three":"/three/build/three.module.js","three/addons/":"/three/examples/jsm/"}}</script>
<script type="module">
import * as THREE from 'three';
import { GLTFLoader } from 'three/addons/loaders/GLTFLoader.js';
try {
  const gltf = await new GLTFLoader().loadAsync('/model.glb');
  const meshes = [];
  gltf.scene.traverse((o) => {
    if (!o.isMesh) return;
    const g = o.geometry;
    const tris = (g.index ? g.index.count : g.attributes.position.count) / 3;
    meshes.push({ name: o.name, parent: o.parent ? o.parent.name : '', triangles: tris,
                  color: o.material.color.toArray(), opacity: o.material.opacity,
                  transparent: o.material.transparent, textured: !!o.material.map,
                  normals: !!g.attributes.normal, vertices: g.attributes.position.count });
  });
  let rendered = false;
  try {
    const renderer = new THREE.WebGLRenderer({ antialias: true, preserveDrawingBuffer: true });
    renderer.setSize(640, 480);
    document.body.appendChild(renderer.domElement);
    const scene = new THREE.Scene();
    scene.background = new THREE.Color(0xf0f0f0);
    scene.add(gltf.scene);
    scene.add(new THREE.HemisphereLight(0xffffff, 0x444444, 2.0));
    const sun = new THREE.DirectionalLight(0xffffff, 2.0);
    sun.position.set(3, 5, 4);
    scene.add(sun);
    const box = new THREE.Box3().setFromObject(gltf.scene);
    const centre = box.getCenter(new THREE.Vector3());
    const size = box.getSize(new THREE.Vector3()).length();
    const camera = new THREE.PerspectiveCamera(45, 640 / 480, size / 100, size * 10);
    camera.position.copy(centre).add(new THREE.Vector3(0.6, 0.5, 0.8).multiplyScalar(size));
    camera.lookAt(centre);
    renderer.render(scene, camera);
    rendered = true;
  } catch (e) {
    window.renderError = String(e);
  }
  window.result = { meshes, rendered, renderError: window.renderError ?? null };
} catch (e) {
  window.result = { error: String(e) };
}
</script></body></html>`;

const browser = await chromium.launch({
  executablePath: process.env.VERTEXA_CHROMIUM ?? '/usr/bin/chromium',
  args: ['--headless', '--no-sandbox', '--disable-gpu', '--use-angle=swiftshader', '--enable-unsafe-swiftshader'],
});
try {
  const page = await browser.newPage({ viewport: { width: 640, height: 480 } });
  await page.route(`${origin}/**`, (route) => {
    const url = new URL(route.request().url()).pathname;
    if (url === '/index.html') return route.fulfill({ contentType: 'text/html', body: page_html });
    if (url === '/model.glb') return route.fulfill({ contentType: 'model/gltf-binary', body: fs.readFileSync(glbPath) });
    if (url.startsWith('/three/')) {
      const file = path.join(three, url.slice('/three/'.length));
      if (file.startsWith(three) && fs.existsSync(file))
        return route.fulfill({ contentType: 'text/javascript', body: fs.readFileSync(file) });
    }
    return route.fulfill({ status: 404, body: 'not found' });
  });
  await page.goto(`${origin}/index.html`);
  await page.waitForFunction(() => window.result !== undefined, null, { timeout: 30000 });
  const result = await page.evaluate(() => window.result);
  if (shotPath && result.rendered) await page.screenshot({ path: shotPath });
  console.log(JSON.stringify(result));
  process.exitCode = result.error ? 1 : 0;
} finally {
  await browser.close();
}
